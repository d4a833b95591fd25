#include "ErrorHandler.h"

#include "fileio/FileError.h"
#include "fileio/LocaleText.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <exception>

void ShowGeneralError(const QString &description)
{
    MessageBox::showError(ErrorBoxText(description), QApplication::activeWindow());
}

bool RunGuarded(const std::function<void()> &body)
{
    try {
        body();
        return true;
    } catch (const FileError &error) {
        ShowGeneralError(error.message());
    } catch (const ErrorText &error) {
        ShowGeneralError(error.text());
    } catch (const std::exception &error) {
        ShowGeneralError(LocaleToText(error.what()));
    } catch (...) {
        ShowGeneralError(QStringLiteral("Unbekannter Fehler"));
    }
    return false;
}
