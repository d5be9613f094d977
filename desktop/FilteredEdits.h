// The window's edits with their input filters. What the operator types, pastes or
// commits through an input method passes the edit's rule first; a character that
// code page 932 cannot hold is refused with a message instead of being lost later.
#pragma once

#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <optional>

enum class TInputRule {
    Text,           // one line of text
    TextNoBlanks,   // one line of text without blanks (a typed blank is dropped)
    Digits,         // only "0" to "9"; every other typed key, Enter included, is dropped
    MultiLineText,  // lines of text
};

// What an edit with `rule` takes of `inserted`: the characters the rule lets in; or
// nothing, with `refusal` set to the message for the operator, when the text holds a
// character that code page 932 cannot hold.
std::optional<QString> FilterInsertion(TInputRule rule, const QString& inserted, QString& refusal);

// A one-line edit that applies its rule to typed keys, pastes (keys, context menu,
// the middle button) and input-method text. It takes no drops.
class TFilteredLineEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit TFilteredLineEdit(TInputRule rule, QWidget* parent = nullptr);

  signals:
    void Refused(const QString& message);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void InsertFiltered(const QString& text);
    void PasteFrom(QClipboard::Mode mode);

    const TInputRule rule_;
};

// The multi-line memo of the message of the day; it refuses characters that code
// page 932 cannot hold, typed, pasted, dropped or from an input method.
class TMotdMemo : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit TMotdMemo(QWidget* parent = nullptr);

  signals:
    void Refused(const QString& message);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};
