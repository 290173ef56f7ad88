#include "platform/Sha256.h"

#include <QCryptographicHash>
#include <QTest>

#include <random>

// The digests name the pictures of the history and tell a save whether
// the volume already holds a picture: they must be SHA-256's own, whatever
// the lengths around its 64-byte blocks and however the bytes arrive.
class TestSha256 : public QObject {
    Q_OBJECT

private slots:
    void digestsAreQtsAtEveryLength()
    {
        std::mt19937 random(29);
        QByteArray bytes(3 << 20, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(random());
        for (qsizetype length : {0, 1, 55, 56, 63, 64, 65, 127, 128, 4096, 1 << 20, 3 << 20}) {
            const QByteArray part = bytes.left(length);
            const QByteArray expected = QCryptographicHash::hash(part, QCryptographicHash::Sha256);
            QCOMPARE(Sha256::hex(part), QString::fromLatin1(expected.toHex()));

            // In pieces of every size up to a few blocks.
            Sha256 pieces;
            for (qsizetype at = 0, piece = 1; at < length; at += piece, piece = piece % 200 + 1)
                pieces.addData(QByteArrayView(part).sliced(at, std::min(piece, length - at)));
            QCOMPARE(pieces.result(), expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestSha256)
#include "tst_sha256.moc"
