#pragma once

#include <QString>

#include <functional>

// The view in which the user edits the login-window message. The window
// wraps a QTextEdit; the command-line companion keeps the text in memory.
// Programmatic setString() never counts as an edit.
class MessageView {
public:
    virtual ~MessageView() = default;
    [[nodiscard]] virtual QString string() const = 0;
    virtual void setString(const QString &text) = 0;
    // Bold system font of the given size, centred text.
    virtual void setBoldFont(double points) = 0;
    virtual void setCentered() = 0;
    // Called on every edit the user makes, from now on.
    virtual void observeEdits(std::function<void()> onEdit) = 0;
};

// A message view without a widget.
class MemoryMessageView final : public MessageView {
public:
    [[nodiscard]] QString string() const override { return m_text; }
    void setString(const QString &text) override { m_text = text; }
    void setBoldFont(double points) override { m_points = points; }
    void setCentered() override { m_centered = true; }
    void observeEdits(std::function<void()> onEdit) override { m_onEdit = std::move(onEdit); }

    // What a user typing the whole text would do.
    void type(const QString &text)
    {
        m_text = text;
        if (m_onEdit)
            m_onEdit();
    }
    [[nodiscard]] double fontPoints() const { return m_points; }
    [[nodiscard]] bool centered() const { return m_centered; }

private:
    QString m_text;
    double m_points = 0;
    bool m_centered = false;
    std::function<void()> m_onEdit;
};
