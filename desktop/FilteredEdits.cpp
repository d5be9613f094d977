#include "desktop/FilteredEdits.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QList>
#include <QMenu>
#include <QMimeData>
#include <algorithm>
#include <memory>

#include "desktop/Cp932Boundary.h"
#include "desktop/DesktopTexts.h"

namespace {

QString WithoutCharacters(QString text, QStringView dropped) {
    text.removeIf([&](QChar character) { return dropped.contains(character); });
    return text;
}

// Text a key press types: printable characters, no control key like Enter or Ctrl+V.
bool TypesText(const QKeyEvent& event) {
    const auto characters = event.text().toUcs4();
    return !characters.isEmpty() && std::ranges::all_of(characters, [](uint character) {
        return QChar::isPrint(character);
    });
}

// The same input-method event with its committed text filtered; the text being
// composed is kept, since it is not in the edit yet.
std::unique_ptr<QInputMethodEvent> FilteredCommit(const QInputMethodEvent& event,
                                                  const QString& commit) {
    auto filtered = std::make_unique<QInputMethodEvent>(event.preeditString(), event.attributes());
    filtered->setCommitString(commit, event.replacementStart(), event.replacementLength());
    return filtered;
}

}  // namespace

std::optional<QString> FilterInsertion(TInputRule rule, const QString& inserted, QString& refusal) {
    if (rule == TInputRule::Digits) {
        QString digits = inserted;
        digits.removeIf([](QChar character) { return character < u'0' || character > u'9'; });
        return digits;
    }
    if (const QString refused = CharactersNotInCp932(inserted); !refused.isEmpty()) {
        refusal = QString::fromUtf8(DesktopTexts::NotShiftJis).arg(refused);
        return std::nullopt;
    }
    switch (rule) {
        case TInputRule::MultiLineText: {
            QString text = inserted;
            return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        }
        case TInputRule::TextNoBlanks:
            return WithoutCharacters(inserted, u"\r\n ");
        default:
            return WithoutCharacters(inserted, u"\r\n");
    }
}

// ---- TFilteredLineEdit -------------------------------------------------------------

TFilteredLineEdit::TFilteredLineEdit(TInputRule rule, QWidget* parent)
    : QLineEdit(parent), rule_(rule) {
    // A drop would put text in past the filter; pasting goes through it.
    setAcceptDrops(false);
}

void TFilteredLineEdit::InsertFiltered(const QString& text) {
    QString refusal;
    const auto filtered = FilterInsertion(rule_, text, refusal);
    if (!filtered) {
        emit Refused(refusal);
        return;
    }
    if (!filtered->isEmpty())
        insert(*filtered);
}

void TFilteredLineEdit::PasteFrom(QClipboard::Mode mode) {
    if (!isReadOnly())
        InsertFiltered(QGuiApplication::clipboard()->text(mode));
}

void TFilteredLineEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        PasteFrom(QClipboard::Clipboard);
    } else if (rule_ == TInputRule::Digits &&
               (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        event->accept();
    } else if (TypesText(*event)) {
        InsertFiltered(event->text());
    } else {
        QLineEdit::keyPressEvent(event);
    }
}

void TFilteredLineEdit::inputMethodEvent(QInputMethodEvent* event) {
    QString refusal;
    const auto filtered = FilterInsertion(rule_, event->commitString(), refusal);
    if (!filtered)
        emit Refused(refusal);
    QLineEdit::inputMethodEvent(FilteredCommit(*event, filtered.value_or(QString())).get());
}

void TFilteredLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    if (auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        paste->disconnect(this);
        connect(paste, &QAction::triggered, this, [this] { PasteFrom(QClipboard::Clipboard); });
    }
    menu->exec(event->globalPos());
}

void TFilteredLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection where the system has one.
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        deselect();
        PasteFrom(QClipboard::Selection);
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

// ---- TMotdMemo ---------------------------------------------------------------------

TMotdMemo::TMotdMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TMotdMemo::keyPressEvent(QKeyEvent* event) {
    QString refusal;
    if (TypesText(*event) && !FilterInsertion(TInputRule::MultiLineText, event->text(), refusal)) {
        emit Refused(refusal);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TMotdMemo::inputMethodEvent(QInputMethodEvent* event) {
    QString refusal;
    const auto filtered =
        FilterInsertion(TInputRule::MultiLineText, event->commitString(), refusal);
    if (!filtered)
        emit Refused(refusal);
    QPlainTextEdit::inputMethodEvent(FilteredCommit(*event, filtered.value_or(QString())).get());
}

void TMotdMemo::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText())
        return;
    QString refusal;
    if (const auto filtered = FilterInsertion(TInputRule::MultiLineText, source->text(), refusal))
        insertPlainText(*filtered);
    else
        emit Refused(refusal);
}
