// The writers never lose a pilot's earlier file: not at a file-size limit,
// not for a name with a control character, not through a link someone else
// planted, not when the workbook's name is taken while it is written, not
// for a name that would leave the c: folder or make a hidden file.

#include "export/SafeFile.h"
#include "export/TextReport.h"
#include "export/Workbook.h"
#include "link/DeviceMap.h"
#include "tests/support/Files.h"
#include "tests/support/MemoryFlights.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <dirent.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Owner of the links this test plants for "someone else" (nobody).
constexpr uid_t kOtherUser = 65534;

const QByteArray kEarlier = "earlier file of the pilot\n";

bool linkOwnedBy(const QString &target, const QString &link, uid_t owner)
{
    const QByteArray l = QFile::encodeName(link);
    return ::symlink(QFile::encodeName(target).constData(), l.constData()) == 0
        && (owner == ::geteuid() || ::lchown(l.constData(), owner, gid_t(-1)) == 0);
}

FlightTable flights(int count)
{
    FlightTable table;
    for (int n = 1; n <= count; ++n)
        table.store(MemoryFlights::textsD(n));
    return table;
}

// Runs job in a child process whose files may grow to limit bytes at most
// (0: no limit), prepared as the program prepares itself at start-up. The
// job's answer comes back as the exit status; -1 when the child did not end
// normally (killed by SIGXFSZ, say).
int runLimited(rlim_t limit, const std::function<bool()> &job)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        SafeFile::prepareProcess();
        if (limit > 0) {
            const rlimit r { limit, limit };
            if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
                ::_exit(3);
        }
        ::_exit(job() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// The workbook writers differ in where placing starts: file systems without
// RENAME_NOREPLACE or without hard links take the later ways.
enum class Writer { Report, Bytes, Book, BookLinked, BookCopied };

// Folder states for the names table.
enum class Plant {
    Nothing,
    OwnLink, // name -> victim.txt, made by the user
    ForeignLink, // name -> victim.txt, owned by someone else
    OwnLinkViaForeignLink, // name -> middle.txt (someone else's) -> victim.txt
    OwnFolderLink, // 2024 -> docs, made by the user
    ForeignFolderLink, // 2024 -> docs, owned by someone else
    ForeignDanglingLink, // name -> missing.txt, owned by someone else
    FileMeanwhile, // a file appears at the workbook's name after it was chosen
    OwnLinkMeanwhile, // a link to victim.txt appears there instead
    EarlierAndFileMeanwhile, // "Flight log.xlsx" exists, then "(2)" appears too
    ReadOnlyEarlier, // an earlier file at the name, mode 0444
    OwnLinkInFolder, // c: -> drop, drop -> docs, made by the user
    ForeignLinkInFolder, // c: -> drop, drop -> docs, owned by someone else
};

} // namespace

Q_DECLARE_METATYPE(Writer)
Q_DECLARE_METATYPE(Plant)

class TstFileSafety : public QObject
{
    Q_OBJECT

private slots:
    void sizeLimit_data();
    void sizeLimit();
    void namesAndLinks_data();
    void namesAndLinks();
    void hostileNeighbour_data();
    void hostileNeighbour();
};

void TstFileSafety::sizeLimit_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<int>("limit"); // bytes; 0: none
    QTest::addColumn<bool>("ok");
    // Thirty flights make a report of about 2.5 KB, well inside Qt's 16 KiB
    // write buffer; the byte writer is given 40 KB, well past it.
    QTest::newRow("report, no limit") << Writer::Report << 0 << true;
    QTest::newRow("report under Qt's buffer size, past the limit") << Writer::Report << 1000 << false;
    QTest::newRow("bytes past Qt's buffer size, past the limit") << Writer::Bytes << 20000 << false;
    QTest::newRow("bytes, no limit") << Writer::Bytes << 0 << true;
    QTest::newRow("workbook, past the limit") << Writer::Book << 2000 << false;
    QTest::newRow("workbook, no limit") << Writer::Book << 0 << true;
}

void TstFileSafety::sizeLimit()
{
    QFETCH(Writer, writer);
    QFETCH(int, limit);
    QFETCH(bool, ok);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const FlightTable table = flights(30);
    const ExportData data { QStringLiteral("PILOT   "), 1, 30, &table };
    const QByteArray big(40000, 'x');
    const QString earlier = dir.filePath(writer == Writer::Book ? "Flight log.xlsx" : "flightlog.txt");
    QVERIFY(Files::write(earlier, kEarlier));

    const QString next = Workbook::nextFreePath(dir.path());
    const int status = runLimited(rlim_t(limit), [&] {
        switch (writer) {
        case Writer::Report:
            return TextReport::writeFile(earlier, data);
        case Writer::Bytes:
            return SafeFile::write(earlier, big);
        case Writer::Book:
        case Writer::BookLinked:
        case Writer::BookCopied:
            return Workbook::write(next, data);
        }
        return false;
    });
    QCOMPARE(status, ok ? 0 : 1);

    if (!ok) {
        QCOMPARE(Files::read(earlier), kEarlier);
        QCOMPARE(Files::entries(dir.path()), QStringList { QFileInfo(earlier).fileName() });
    } else if (writer == Writer::Book) {
        QCOMPARE(Files::read(earlier), kEarlier);
        QCOMPARE(Files::entries(dir.path()), (QStringList { "Flight log (2).xlsx", "Flight log.xlsx" }));
    } else {
        QCOMPARE(Files::read(earlier), writer == Writer::Bytes ? big : *TextReport::build(data));
        QCOMPARE(Files::entries(dir.path()), QStringList { "flightlog.txt" });
    }
}

void TstFileSafety::namesAndLinks_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<QString>("landsAt"); // where the new file ends up; empty: nowhere
    const auto row
        = [](const char *tag, Writer writer, const QString &name, Plant plant, const char *landsAt) {
              QTest::newRow(tag) << writer << name << plant << QString::fromUtf8(landsAt);
          };

    // A report's name is the name typed in the window: it goes through the
    // c: folder as the export's does.
    const auto withChar = [](char16_t c) { return QStringLiteral("flight").append(QChar(c)).append("log"); };
    // Each of these fails the export and writes nothing.
    row("NUL", Writer::Report, withChar(0), Plant::Nothing, "");
    row("line feed", Writer::Report, withChar(u'\n'), Plant::Nothing, "");
    row("carriage return", Writer::Report, withChar(u'\r'), Plant::Nothing, "");
    row("tab", Writer::Report, withChar(u'\t'), Plant::Nothing, "");
    row("unit separator", Writer::Report, withChar(0x1F), Plant::Nothing, "");
    row("DEL", Writer::Report, withChar(0x7F), Plant::Nothing, "");
    row("plain name still works", Writer::Report, "flight log \u00e9", Plant::Nothing,
        "flight log \u00e9.txt");
    row("into a folder", Writer::Report, "docs\\may", Plant::Nothing, "docs/may.txt");
    // Hidden files, and files outside the c: folder (one that goes up and
    // back in is refused all the same, and does not litter when it fails).
    row("empty last part", Writer::Report, "docs\\", Plant::Nothing, "");
    row("dot", Writer::Report, ".", Plant::Nothing, "");
    row("two dots", Writer::Report, "..", Plant::Nothing, "");
    row("three dots", Writer::Report, "...", Plant::Nothing, "");
    row("up and back in", Writer::Report, "docs\\..\\x", Plant::Nothing, "");
    row("up with a slash", Writer::Report, "docs/../x", Plant::Nothing, "");

    row("link of someone else's", Writer::Report, "flightlog", Plant::ForeignLink, "");
    row("own link through someone else's", Writer::Report, "flightlog", Plant::OwnLinkViaForeignLink, "");
    row("dangling link of someone else's", Writer::Report, "flightlog", Plant::ForeignDanglingLink, "");
    row("the pilot's own link is followed", Writer::Report, "flightlog", Plant::OwnLink, "victim.txt");
    row("folder link of someone else's", Writer::Report, "2024\\may", Plant::ForeignFolderLink, "");
    row("the pilot's own folder link is followed", Writer::Report, "2024\\may", Plant::OwnFolderLink,
        "docs/may.txt");
    // The c: folder is checked part by part as it is written in its link.
    row("link of someone else's in the c: folder", Writer::Report, "flightlog", Plant::ForeignLinkInFolder,
        "");
    row("workbook, link of someone else's in the c: folder", Writer::Book, "", Plant::ForeignLinkInFolder,
        "");
    row("the pilot's own link in the c: folder is followed", Writer::Report, "flightlog",
        Plant::OwnLinkInFolder, "docs/flightlog.txt");
    // Kept even by root, who could write it: the pilot made it read-only.
    row("read-only earlier report", Writer::Report, "flightlog", Plant::ReadOnlyEarlier, "");

    row("workbook name taken by a file", Writer::Book, "", Plant::FileMeanwhile, "Flight log (2).xlsx");
    row("workbook name taken by a link", Writer::Book, "", Plant::OwnLinkMeanwhile, "Flight log (2).xlsx");
    row("workbook's second name taken", Writer::Book, "", Plant::EarlierAndFileMeanwhile,
        "Flight log (3).xlsx");
    row("name taken, hard link", Writer::BookLinked, "", Plant::FileMeanwhile, "Flight log (2).xlsx");
    row("copied", Writer::BookCopied, "", Plant::Nothing, "Flight log.xlsx");
    row("name taken by a link, copied", Writer::BookCopied, "", Plant::OwnLinkMeanwhile,
        "Flight log (2).xlsx");
    row("second name taken, copied", Writer::BookCopied, "", Plant::EarlierAndFileMeanwhile,
        "Flight log (3).xlsx");
}

void TstFileSafety::namesAndLinks()
{
    QFETCH(Writer, writer);
    QFETCH(QString, name);
    QFETCH(Plant, plant);
    QFETCH(QString, landsAt);

    QTemporaryDir dir;
    QTemporaryDir config;
    QVERIFY(dir.isValid() && config.isValid() && QDir(dir.path()).mkdir("docs"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QVERIFY(DeviceMap::writeLinks({ { DeviceMap::driveCLinkName(), dir.path() } }).ok);
    const QString victim = dir.filePath("victim.txt");
    QVERIFY(Files::write(victim, kEarlier));
    const FlightTable table = flights(3);
    const ExportData data { QStringLiteral("PILOT   "), 1, 3, &table };

    if (plant == Plant::EarlierAndFileMeanwhile)
        QVERIFY(Files::write(dir.filePath("Flight log.xlsx"), kEarlier));
    const bool foreign = plant == Plant::ForeignLink || plant == Plant::OwnLinkViaForeignLink
        || plant == Plant::ForeignDanglingLink || plant == Plant::ForeignFolderLink
        || plant == Plant::ForeignLinkInFolder;
    if (foreign && ::geteuid() != 0)
        QSKIP("planting a link of another user's needs root");
    const bool inFolder = plant == Plant::OwnLinkInFolder || plant == Plant::ForeignLinkInFolder;
    if (inFolder) {
        QVERIFY(linkOwnedBy("docs", dir.filePath("drop"), foreign ? kOtherUser : ::geteuid()));
        QVERIFY(DeviceMap::writeLinks({ { DeviceMap::driveCLinkName(), dir.filePath("drop") } }).ok);
    }
    const bool book = writer != Writer::Report;
    const QString path = book
        ? Workbook::nextFreePath(DeviceMap::driveCFolder())
        : DeviceMap::resolveDosPath(QStringLiteral("c:\\") + name + QStringLiteral(".txt"));
    const bool folderLink = plant == Plant::OwnFolderLink || plant == Plant::ForeignFolderLink;
    const QString planted = folderLink ? dir.filePath("2024") : inFolder ? dir.filePath("drop") : path;

    switch (plant) {
    case Plant::Nothing:
    case Plant::OwnLinkInFolder:
    case Plant::ForeignLinkInFolder:
        break;
    case Plant::ReadOnlyEarlier:
        QVERIFY(Files::write(path, kEarlier));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        break;
    case Plant::OwnLink:
    case Plant::OwnLinkMeanwhile:
        QVERIFY(linkOwnedBy("victim.txt", path, ::geteuid()));
        break;
    case Plant::ForeignLink:
        QVERIFY(linkOwnedBy("victim.txt", path, kOtherUser));
        break;
    case Plant::OwnLinkViaForeignLink:
        QVERIFY(linkOwnedBy("victim.txt", dir.filePath("middle.txt"), kOtherUser));
        QVERIFY(linkOwnedBy("middle.txt", path, ::geteuid()));
        break;
    case Plant::ForeignDanglingLink:
        QVERIFY(linkOwnedBy("missing.txt", path, kOtherUser));
        break;
    case Plant::OwnFolderLink:
    case Plant::ForeignFolderLink:
        QVERIFY(linkOwnedBy("docs", planted, plant == Plant::OwnFolderLink ? ::geteuid() : kOtherUser));
        break;
    case Plant::FileMeanwhile:
    case Plant::EarlierAndFileMeanwhile:
        QVERIFY(Files::write(path, kEarlier));
        break;
    }
    const QStringList before = Files::entries(dir.path());

    QString placedAt;
    const SafeFile::Placing placing = writer == Writer::BookLinked ? SafeFile::Placing::HardLink
        : writer == Writer::BookCopied                             ? SafeFile::Placing::Copy
                                                                   : SafeFile::Placing::Rename;
    const bool ok
        = book ? Workbook::write(path, data, &placedAt, placing) : TextReport::writeFile(path, data);
    QCOMPARE(ok, !landsAt.isEmpty());

    // Whatever was planted stays as it was; the victim changes only when
    // the pilot's own link leads there.
    QStringList after = before;
    if (!landsAt.isEmpty() && !after.contains(landsAt)) {
        after.append(landsAt);
        after.sort();
    }
    QCOMPARE(Files::entries(dir.path()), after);
    const bool earlierFile = plant == Plant::FileMeanwhile || plant == Plant::EarlierAndFileMeanwhile
        || plant == Plant::ReadOnlyEarlier;
    if (plant != Plant::Nothing && !earlierFile)
        QVERIFY(QFileInfo(planted).isSymLink());
    if (earlierFile)
        QCOMPARE(Files::read(path), kEarlier);
    QCOMPARE(Files::read(victim), landsAt == "victim.txt" ? *TextReport::build(data) : kEarlier);

    if (book && ok) {
        QCOMPARE(placedAt, dir.filePath(landsAt));
        QVERIFY(Files::read(placedAt).startsWith("PK"));
    } else if (ok && landsAt != "victim.txt") {
        QCOMPARE(Files::read(dir.filePath(landsAt)), *TextReport::build(data));
    }
}

void TstFileSafety::hostileNeighbour_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<int>("runs");
    QTest::newRow("report") << Writer::Report << 3000;
    QTest::newRow("workbook") << Writer::Book << 40;
}

// Another user, in a folder both may write to, keeps putting links to the
// pilot's file at the report's name, or over every file in the folder, the
// workbook's temporary files included. However each race falls, the
// pilot's file stays as it was.
void TstFileSafety::hostileNeighbour()
{
    QFETCH(Writer, writer);
    QFETCH(int, runs);
    if (::geteuid() != 0)
        QSKIP("acting as another user needs root");
    QTemporaryDir shared;
    QTemporaryDir home;
    QVERIFY(shared.isValid() && home.isValid());
    QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 0777) == 0);
    const QString victim = home.filePath("victim.txt");
    QVERIFY(Files::write(victim, kEarlier));
    const QString report = shared.filePath("flightlog.txt");
    const FlightTable table = flights(3);
    const ExportData data { QStringLiteral("PILOT   "), 1, 3, &table };

    const QByteArray folder = QFile::encodeName(shared.path());
    const QByteArray target = QFile::encodeName(victim);
    const QByteArray atReport = QFile::encodeName(report);
    const QByteArray spare = folder + "/plant.spare";
    const pid_t neighbour = ::fork();
    if (neighbour == 0) {
        ::alarm(120); // never outlives a test that stopped early
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(3);
        for (;;) {
            // At the report's name a link, gone for a moment now and then;
            // every other entry swapped for a link.
            ::unlink(atReport.constData());
            ::symlink(target.constData(), atReport.constData());
            DIR *d = ::opendir(folder.constData());
            while (const dirent *e = d ? ::readdir(d) : nullptr) {
                const QByteArray name(e->d_name);
                if (name == "." || name == ".." || name == "flightlog.txt" || name.startsWith("plant.")
                    || ::symlink(target.constData(), spare.constData()) != 0)
                    continue;
                ::rename(spare.constData(), (folder + '/' + name).constData());
            }
            if (d)
                ::closedir(d);
        }
    }
    QVERIFY(neighbour > 0);
    const auto stop = qScopeGuard([neighbour] {
        ::kill(neighbour, SIGKILL);
        ::waitpid(neighbour, nullptr, 0);
    });
    for (int run = 0; run < runs; ++run) {
        if (writer == Writer::Report)
            TextReport::writeFile(report, data);
        else
            Workbook::write(Workbook::nextFreePath(shared.path()), data);
    }
    QCOMPARE(Files::read(victim), kEarlier);
}

QTEST_GUILESS_MAIN(TstFileSafety)
#include "tst_filesafety.moc"
