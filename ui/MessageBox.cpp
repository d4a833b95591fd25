#include "MessageBox.h"

#include "ui/WindowFont.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <optional>

namespace MessageBox {
namespace {

// Answers for the boxes to come, in order.
QList<Answer> &nextAnswers()
{
    static QList<Answer> answers;
    return answers;
}

QList<Shown> &recorded()
{
    static QList<Shown> boxes;
    return boxes;
}

QString titleFor(Kind kind)
{
    switch (kind) {
    case Kind::Information: return QStringLiteral("Information");
    case Kind::Error: return QStringLiteral("Fehler");
    case Kind::Warning: return QStringLiteral("Warnung");
    case Kind::Confirmation: return QStringLiteral("Bestätigung");
    }
    return QString();
}

QMessageBox::Icon iconFor(Kind kind)
{
    switch (kind) {
    case Kind::Information: return QMessageBox::Information;
    case Kind::Error: return QMessageBox::Critical;
    case Kind::Warning: return QMessageBox::Warning;
    case Kind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// Escape and the title-bar close end the box without pressing a button, which
// counts as Cancel. QMessageBox would need an escape button for that, and a
// hidden one would still be announced by screen readers.
class Box : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            reject();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override { QDialog::closeEvent(event); }
};

}  // namespace

Answer show(Kind kind, const QString &text, Buttons buttons, QWidget *parent, std::optional<Answer> defaultAnswer)
{
    if (!nextAnswers().isEmpty()) {
        const Answer answer = nextAnswers().takeFirst();
        recorded().append({kind, titleFor(kind), text, buttons, defaultAnswer});
        return answer;
    }

    Box box(iconFor(kind), titleFor(kind), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setFont(WindowFont());
    struct Choice {
        QString caption;
        Answer answer;
    };
    QList<Choice> choices;
    switch (buttons) {
    case Buttons::Ok: choices = {{QStringLiteral("OK"), Answer::Ok}}; break;
    case Buttons::OkCancel:
        choices = {{QStringLiteral("OK"), Answer::Ok}, {QStringLiteral("Abbrechen"), Answer::Cancel}};
        break;
    case Buttons::YesNo:
        choices = {{QStringLiteral("&Ja"), Answer::Yes}, {QStringLiteral("&Nein"), Answer::No}};
        break;
    }
    QList<QPushButton *> pushButtons;
    for (const Choice &choice : choices)
        pushButtons.append(box.addButton(choice.caption, QMessageBox::ActionRole));
    qsizetype defaultIndex = 0;
    for (qsizetype i = 0; i < choices.size(); ++i) {
        if (defaultAnswer == choices[i].answer)
            defaultIndex = i;
    }
    box.setDefaultButton(pushButtons[defaultIndex]);
    box.exec();
    const int index = pushButtons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return index < 0 ? Answer::Cancel : choices[index].answer;
}

Answer showError(const QString &text, QWidget *parent)
{
    return show(Kind::Error, text, Buttons::Ok, parent);
}

Answer askYesNo(const QString &text, QWidget *parent)
{
    return show(Kind::Confirmation, text, Buttons::YesNo, parent);
}

Answer warnYesNo(const QString &text, QWidget *parent)
{
    return show(Kind::Warning, text, Buttons::YesNo, parent, Answer::No);
}

void setNextAnswer(Answer answer) { nextAnswers().append(answer); }
const QList<Shown> &shownBoxes() { return recorded(); }
void clearShownBoxes()
{
    recorded().clear();
    nextAnswers().clear();
}

}  // namespace MessageBox
