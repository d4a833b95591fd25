#pragma once
// The one way the program shows a message box. Titles and buttons are fixed
// texts: "Information", "Fehler", "Warnung", "Bestätigung"; "OK", "Abbrechen",
// "&Ja", "&Nein". The first button is the default unless another is named;
// closing the box without a button counts as Cancel.
//
// Tests answer the next boxes with setNextAnswer, one call per box in the
// order they come; such a box is recorded instead of shown, so a widget test
// never blocks on a modal box.

#include <QList>
#include <QString>
#include <optional>

class QWidget;

namespace MessageBox {

enum class Kind { Information, Error, Warning, Confirmation };
enum class Answer { Ok, Cancel, Yes, No };
enum class Buttons { Ok, OkCancel, YesNo };

// `defaultAnswer` names the default button; without it the first is.
Answer show(Kind kind, const QString &text, Buttons buttons = Buttons::Ok,
            QWidget *parent = nullptr, std::optional<Answer> defaultAnswer = std::nullopt);
Answer showError(const QString &text, QWidget *parent = nullptr);
// Yes/No with Yes as default.
Answer askYesNo(const QString &text, QWidget *parent = nullptr);
// A warning with Yes/No and No as default: for a question whose Yes loses something.
Answer warnYesNo(const QString &text, QWidget *parent = nullptr);

// Test hooks.
struct Shown {
    Kind kind;
    QString title;
    QString text;
    Buttons buttons;
    std::optional<Answer> defaultAnswer;
};
void setNextAnswer(Answer answer);
const QList<Shown> &shownBoxes();
// Forgets the boxes shown and the answers no box took.
void clearShownBoxes();

}  // namespace MessageBox
