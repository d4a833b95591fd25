#pragma once
// The aliases editor: the alias file as free text, saved on request or when
// the user confirms on leaving with unsaved changes.

#include "fileio/FileStamp.h"

#include <QDialog>

class QFrame;
class QKeyEvent;
class QPlainTextEdit;
class QPushButton;

class TEditaliasesFrm : public QDialog {
    Q_OBJECT

public:
    explicit TEditaliasesFrm(QWidget *owner);

    // The file had too many lines, or one too long, for the text area: the
    // user has been told, and the window must not be shown.
    bool FileRefused() const;

protected:
    // Escape has no window-wide meaning here; QDialog would close the window.
    // Return presses the focused button, as in the main window.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    void BWriteConfigClick();
    void BAbortClick();
    // Returns false when the user kept another program's change: nothing was written.
    bool writeAliasesFile();

    QPlainTextEdit *MemoAliases;
    QFrame *PanelBottom;
    QPushButton *BWriteConfig;
    QPushButton *BAbort;
    // False after a failed load: the empty text area must not replace the file.
    bool m_fileRead = false;
    FileStamp m_readStamp;  // the file as read, then as last saved
    // Why the file is too large for the text area, or empty.
    QString m_refusal;
};
