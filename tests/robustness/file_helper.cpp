// Loads or saves a configuration file once, with the rights it was started
// with, and prints what happened on one line (UTF-8):
//   file_helper probe <path>        "uid <euid> open <0 or errno>"
//   file_helper save <path> <text>  saves over whatever is there:
//                                   "saved" or "error <kind>: <message>"
//   file_helper load <path>         "loaded <lines>" or "error <kind>: <message>",
//                                   then "first <first line of the document>"
//   file_helper load-save <path>    a load into a new document, then a save:
//                                   one line for each, as above
//   file_helper choose <path> <language>
//                                   opens the language file, stores the choice:
//                                   "saved" or "error <kind>: <message>"
//   file_helper stamp <path>        the stamp a read records, as text

#include "conf_core/ConfLines.h"
#include "fileio/FileError.h"
#include "fileio/FileStamp.h"
#include "fileio/ReadFile.h"
#include "localisation/LangIni.h"
#include <QTemporaryFile>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

void print(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
}

QByteArray describe(const FileError &error)
{
    return "error " + QByteArray::number(int(error.kind())) + ": " + error.message().toUtf8();
}

// Prints "saved", or the error that saving threw.
template <typename Save>
void reportSave(Save save)
{
    try {
        save();
        print("saved");
    } catch (const FileError &error) {
        print(describe(error));
    }
}

// Prints "loaded <lines>", or the error that loading threw.
// A document of these lines, loaded from a file as every document is.
ConfDocument documentOf(const QByteArray &text)
{
    QTemporaryFile file;
    if (!file.open() || file.write(text) != text.size() || !file.flush()) {
        print("cannot write a temporary file");
        std::exit(1);
    }
    ConfDocument document;
    LoadConfFile(document, QFile::encodeName(file.fileName()));
    return document;
}

void reportLoad(ConfDocument &document, const QByteArray &path)
{
    try {
        LoadConfFile(document, path);
        print("loaded " + QByteArray::number(document.lineCount()));
    } catch (const FileError &error) {
        print(describe(error));
    }
}

}  // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    const QByteArray command = argc > 1 ? argv[1] : "";
    const QByteArray path = argc > 2 ? argv[2] : "";
    if (command == "probe" && argc == 3) {
        const int fd = ::open(path.constData(), O_RDONLY);
        const int error = fd < 0 ? errno : 0;
        print("uid " + QByteArray::number(uint(::geteuid())) + " open " + QByteArray::number(error));
        return 0;
    }
    if (command == "save" && argc == 4) {
        ConfDocument document = documentOf(argv[3]);
        reportSave([&] { SaveConfFile(document, path, IfChanged::Overwrite); });
        return 0;
    }
    if (command == "load" && argc == 3) {
        ConfDocument document = documentOf("Before = 1\n");
        reportLoad(document, path);
        print("first " + (document.lineCount() > 0 ? document.line(0).toByteArray() : QByteArray()));
        return 0;
    }
    if (command == "load-save" && argc == 3) {
        ConfDocument document;
        reportLoad(document, path);
        reportSave([&] { SaveConfFile(document, path); });
        return 0;
    }
    if (command == "choose" && argc == 4) {
        reportSave([&] { LangIniFile::open(path).WriteEntry("GENERAL", "CurrentLanguage", argv[3]); });
        return 0;
    }
    if (command == "stamp" && argc == 3) {
        FileStamp stamp;
        ReadWholeFile(path, &stamp);
        print(StampText(stamp));
        return 0;
    }
    std::fprintf(stderr, "usage: %s probe|save|load|load-save|choose|stamp <path> [text|language]\n", argv[0]);
    return 2;
}
