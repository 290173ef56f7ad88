#include "app/BackgroundAdjuster.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>

namespace {

// Undo keeps a few steps of adjusting within reach; older adjusted
// pictures come back as originals of their own.
constexpr int kRemembered = 16;

QString sizeText(QSize size)
{
    return QStringLiteral("%1\u00d7%2").arg(size.width()).arg(size.height());
}

} // namespace

const QList<QSize> &BackgroundAdjuster::screenSizes()
{
    static const QList<QSize> sizes{{1024, 768}, {1280, 854}, {1440, 900}, {1920, 1200}};
    return sizes;
}

BackgroundAdjuster::BackgroundAdjuster(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("backgroundAdjuster"));
    m_fit = new QComboBox;
    m_fit->setObjectName(QStringLiteral("backgroundFit"));
    m_fit->addItem(QCoreApplication::translate("Lumora", "Full size"), QSize());
    for (const QSize &size : screenSizes())
        m_fit->addItem(QCoreApplication::translate("Lumora", "Fit to %1").arg(sizeText(size)), size);
    m_darken = new QSpinBox;
    m_darken->setObjectName(QStringLiteral("backgroundDarken"));
    m_darken->setRange(0, PictureAdjustments::kMaxDarken);
    m_darken->setSingleStep(10);
    m_darken->setSuffix(QStringLiteral(" %"));
    m_blur = new QSpinBox;
    m_blur->setObjectName(QStringLiteral("backgroundBlur"));
    m_blur->setRange(0, PictureAdjustments::kMaxBlur);
    m_blur->setSuffix(QCoreApplication::translate("Lumora", " px"));
    m_suggestion = new QLabel;
    m_suggestion->setObjectName(QStringLiteral("backgroundFitSuggestion"));
    m_suggestion->setWordWrap(true);
    m_suggestion->setForegroundRole(QPalette::PlaceholderText);
    m_suggestion->hide();

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *fitLabel = new QLabel(QCoreApplication::translate("Lumora", "Size:"));
    fitLabel->setBuddy(m_fit);
    auto *darkenLabel = new QLabel(QCoreApplication::translate("Lumora", "Darken:"));
    darkenLabel->setBuddy(m_darken);
    auto *blurLabel = new QLabel(QCoreApplication::translate("Lumora", "Blur:"));
    blurLabel->setBuddy(m_blur);
    layout->addWidget(fitLabel, 0, 0);
    layout->addWidget(m_fit, 0, 1);
    layout->addWidget(darkenLabel, 0, 2);
    layout->addWidget(m_darken, 0, 3);
    layout->addWidget(blurLabel, 0, 4);
    layout->addWidget(m_blur, 0, 5);
    layout->setColumnStretch(6, 1);
    layout->addWidget(m_suggestion, 1, 0, 1, 7);

    connect(m_fit, &QComboBox::activated, this, &BackgroundAdjuster::changed);
    // The picture is worked out again once the number is settled, not on
    // every keystroke.
    for (QSpinBox *box : {m_darken, m_blur}) {
        box->setKeyboardTracking(false);
        connect(box, &QSpinBox::valueChanged, this, [this] {
            if (!m_showing)
                changed();
        });
    }
    setEnabled(false);
}

PictureAdjustments BackgroundAdjuster::adjustments() const
{
    PictureAdjustments adjustments;
    const QSize fit = m_fit->currentData().toSize();
    if (fit.isValid())
        adjustments.fit = fit;
    adjustments.darkenPercent = m_darken->value();
    adjustments.blurRadius = m_blur->value();
    return adjustments;
}

void BackgroundAdjuster::showAdjustments(const PictureAdjustments &adjustments)
{
    m_showing = true;
    m_fit->setCurrentIndex(adjustments.fit ? std::max(0, m_fit->findData(*adjustments.fit)) : 0);
    m_darken->setValue(adjustments.darkenPercent);
    m_blur->setValue(adjustments.blurRadius);
    m_showing = false;
}

void BackgroundAdjuster::showBackground(const Image &background)
{
    for (const Made &made : m_made) {
        if (made.picture.isSameAs(background)) {
            m_original = made.original;
            showAdjustments(made.adjustments);
            updateSuggestion();
            return;
        }
    }
    m_original = background;
    showAdjustments({});
    updateSuggestion();
}

void BackgroundAdjuster::updateSuggestion()
{
    const QSize largest = screenSizes().constLast();
    const QSize size = m_original.isNull() ? QSize() : m_original.size();
    const bool suggest = !adjustments().fit && PictureAdjustments::worthFitting(size, largest);
    m_suggestion->setText(suggest ? QCoreApplication::translate(
                                        "Lumora", "This picture (%1) is far larger than any screen of this Mac "
                                                  "(up to %2): fitting it makes the saved file much smaller.")
                                        .arg(sizeText(size), sizeText(largest))
                                  : QString());
    m_suggestion->setVisible(suggest);
}

void BackgroundAdjuster::changed()
{
    if (m_original.isNull())
        return;
    const PictureAdjustments wanted = adjustments();
    Image picture = m_original;
    if (!wanted.isNone()) {
        const QImage pixels = m_original.pixels();
        if (pixels.isNull())
            return;
        picture = Image::fromPixels(PictureAdjustments::apply(pixels, wanted));
        m_made.append({picture, m_original, wanted});
        if (m_made.size() > kRemembered)
            m_made.removeFirst();
    }
    updateSuggestion();
    emit adjusted(picture);
}
