#pragma once
// The one way the program shows a message box. Titles and buttons are fixed
// texts: "Information", "Fehler", "Warnung", "Bestätigung"; "OK", "Abbrechen",
// "&Ja", "&Nein". The first button is the default unless another is named;
// closing the box without a button counts as Cancel.
//
// Tests answer the next boxes with setNextAnswer; such a box is recorded
// instead of shown, so a widget test never blocks on a modal box.

#include <QList>
#include <QString>

class QWidget;

namespace MessageBox {

enum class Kind { Information, Error, Warning, Confirmation };
enum class Answer { Ok, Cancel, Yes, No };
enum class Buttons { Ok, OkCancel, YesNo };

Answer show(Kind kind, const QString &text, Buttons buttons = Buttons::Ok,
            QWidget *parent = nullptr);
Answer showError(const QString &text, QWidget *parent = nullptr);
// Yes/No with Yes as default.
Answer askYesNo(const QString &text, QWidget *parent = nullptr);

QString titleFor(Kind kind);

// Test hooks.
struct Shown {
    Kind kind;
    QString title;
    QString text;
    Buttons buttons;
};
void setNextAnswer(Answer answer);
const QList<Shown> &shownBoxes();
void clearShownBoxes();

}  // namespace MessageBox
