// FIFOs, sockets and devices where a file belongs. Every read or write must
// come back at once with the runtime's open or create text and a clear reason,
// never block, never run out of memory, and leave the special file as it was,
// not even opened: a process waiting in its open of a FIFO's other end waits on.
// Each case runs in a child process bounded in address space and time, so a
// routine that blocks or reads without end fails the case instead of the machine.

#include "conf_core/ConfLines.h"
#include "fileio/FileError.h"
#include "LoadedDocument.h"
#include "fileio/ReadFile.h"
#include "fileio/SafeWrite.h"
#include "localisation/LangIni.h"
#include "Sanitizers.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A waiting writer or reader sleeps in its open until someone opens the other end.
enum class Special {
    Fifo, FifoWithReader, Socket, DevZero, DevNull, LinkToDevZero, FifoWithWaitingWriter, FifoWithWaitingReader
};
enum class Operation { ReadFile, LoadConf, OpenLanguage, WriteFile, SaveConf, ChooseLanguage };

constexpr rlim_t AddressSpace = rlim_t(1) << 30;
constexpr unsigned Seconds = 10;

// Runs the operation in a child and returns what it reported: "ok" or the
// FileError's kind and text, or how the child died.
QString runBounded(const std::function<QString()> &operation)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return QStringLiteral("pipe failed");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (!AddressSanitizerActive) {
            const struct rlimit limit {AddressSpace, AddressSpace};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        ::alarm(Seconds);
        QByteArray report;
        try {
            report = operation().toUtf8();
        } catch (const FileError &error) {
            report = QByteArray::number(int(error.kind())) + " " + error.message().toUtf8();
        } catch (const std::exception &error) {
            report = QByteArray("exception ") + error.what();
        }
        (void)!::write(channel[1], report.constData(), size_t(report.size()));
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, got);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return QStringLiteral("killed by signal %1").arg(WTERMSIG(status));
    return QString::fromUtf8(report);
}

}  // namespace

Q_DECLARE_METATYPE(Special)
Q_DECLARE_METATYPE(Operation)

class TestSpecialFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_socket = -1;
    int m_reader = -1;
    pid_t m_waiting = -1;  // the process waiting in its open of the FIFO

    // Its state: "S" while it sleeps in its open.
    QByteArray waitingState() const
    {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(m_waiting));
        return stat.mid(stat.lastIndexOf(')') + 2, 1);
    }

    // Makes the special file under the given name; returns its path.
    QString make(Special special)
    {
        const QString path = m_dir.filePath(QStringLiteral("special-%1").arg(int(special)));
        QFile::remove(path);
        const QByteArray name = encoded(path);
        switch (special) {
        case Special::Fifo:
        case Special::FifoWithReader:
        case Special::FifoWithWaitingWriter:
        case Special::FifoWithWaitingReader:
            if (::mkfifo(name.constData(), 0666) != 0)
                return {};
            if (special == Special::FifoWithReader)
                m_reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK);
            if (special == Special::FifoWithWaitingWriter || special == Special::FifoWithWaitingReader) {
                if ((m_waiting = ::fork()) == 0)
                    ::_exit(::open(name.constData(), special == Special::FifoWithWaitingWriter ? O_WRONLY : O_RDONLY));
                while (waitingState() != "S")
                    ::usleep(1000);
            }
            return path;
        case Special::Socket: {
            m_socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
            struct sockaddr_un address {};
            address.sun_family = AF_UNIX;
            if (size_t(name.size()) >= sizeof address.sun_path)
                return {};
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(m_socket, 1) != 0)
                return {};
            return path;
        }
        case Special::DevZero:
            return QStringLiteral("/dev/zero");
        case Special::DevNull:
            return QStringLiteral("/dev/null");
        case Special::LinkToDevZero:
            return ::symlink("/dev/zero", name.constData()) == 0 ? path : QString();
        }
        return {};
    }

    static void addRows(const QList<Operation> &operations, const QList<Special> &specials, const QString &text)
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<Special>("special");
        QTest::addColumn<QString>("expected");
        const char *specialNames[] = {"FIFO", "FIFO with a reader", "socket", "/dev/zero", "/dev/null", "link to /dev/zero",
                                      "FIFO with a waiting writer", "FIFO with a waiting reader"};
        const char *operationNames[] = {"read", "load configuration", "open language file",
                                        "write", "save configuration", "choose language"};
        for (Operation operation : operations)
            for (Special special : specials)
                QTest::addRow("%s: %s", operationNames[int(operation)], specialNames[int(special)])
                    << operation << special << text;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(std::setlocale(LC_ALL, "C.UTF-8"));
        QVERIFY(m_dir.isValid());
    }
    void cleanup()
    {
        if (m_socket >= 0)
            ::close(m_socket);
        if (m_reader >= 0)
            ::close(m_reader);
        if (m_waiting > 0 && ::kill(m_waiting, SIGKILL) == 0)
            ::waitpid(m_waiting, nullptr, 0);
        m_socket = m_reader = m_waiting = -1;
    }

    void readsRefuseSpecialFiles_data()
    {
        addRows({Operation::ReadFile, Operation::LoadConf, Operation::OpenLanguage},
                {Special::Fifo, Special::Socket, Special::DevZero, Special::LinkToDevZero, Special::DevNull,
                 Special::FifoWithWaitingWriter},
                QStringLiteral("0 Datei %1 kann nicht geöffnet werden. Keine reguläre Datei"));
    }
    void readsRefuseSpecialFiles()
    {
        QFETCH(Operation, operation);
        QFETCH(Special, special);
        QFETCH(QString, expected);
        if (AddressSanitizerActive && (special == Special::DevZero || special == Special::LinkToDevZero))
            QSKIP("AddressSanitizer cannot run within the address-space limit that bounds a read of /dev/zero");
        const QString path = make(special);
        QVERIFY2(!path.isEmpty(), "cannot make the special file");
        const QByteArray name = encoded(path);
        const QString report = runBounded([&]() -> QString {
            if (operation == Operation::ReadFile) {
                ReadWholeFile(name);
            } else if (operation == Operation::LoadConf) {
                ConfDocument document = loadedDocument("Kept = 1\n");
                try {
                    LoadConfFile(document, name);
                } catch (const FileError &) {
                    if (document.savedText() != "Kept=1\n")
                        return QStringLiteral("document changed by a failed load");
                    throw;
                }
            } else {
                LangIniFile::open(name);
            }
            return QStringLiteral("ok");
        });
        QCOMPARE(report, expected.arg(path));
        QVERIFY2(m_waiting < 0 || waitingState() == "S", "the FIFO was opened");
    }

    void writesRefuseSpecialFiles_data()
    {
        addRows({Operation::WriteFile, Operation::SaveConf, Operation::ChooseLanguage},
                {Special::Fifo, Special::FifoWithReader, Special::Socket, Special::DevNull, Special::LinkToDevZero,
                 Special::FifoWithWaitingReader},
                QStringLiteral("1 Datei \"%1\" kann nicht erstellt werden. Keine reguläre Datei"));
    }
    void writesRefuseSpecialFiles()
    {
        QFETCH(Operation, operation);
        QFETCH(Special, special);
        QFETCH(QString, expected);
        const QString path = make(special);
        QVERIFY2(!path.isEmpty(), "cannot make the special file");
        const QByteArray name = encoded(path);
        const struct stat before = statOf(path);
        const QString report = runBounded([&]() -> QString {
            if (operation == Operation::WriteFile) {
                WriteFileSafely(name, QByteArrayView("new content\n"), {}, IfChanged::Overwrite);
            } else if (operation == Operation::SaveConf) {
                ConfDocument document = loadedDocument("RootDirectory = /opt\n");
                SaveConfFile(document, name);
            } else {
                LangIniFile file = LangIniFile::fromBytes(name, "[GENERAL]\nCurrentLanguage=ENGLISH\n");
                file.WriteEntry("GENERAL", "CurrentLanguage", "DEUTSCH");
            }
            return QStringLiteral("ok");
        });
        QCOMPARE(report, expected.arg(path));
        QVERIFY2(m_waiting < 0 || waitingState() == "S", "the FIFO was opened");
        const struct stat after = statOf(path);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        if (m_reader >= 0) {
            char byte;
            QCOMPARE(::read(m_reader, &byte, 1), ssize_t(0));  // nothing was written into the pipe
        }
        QCOMPARE(entriesOf(m_dir.path()).filter(QStringLiteral(".special")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSpecialFiles)
#include "tst_specialfiles.moc"
