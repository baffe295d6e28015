// The writers never lose a pilot's earlier file: not at a file-size limit,
// not for a name with a control character, not through a link someone else
// planted, not when the workbook's name is taken while it is written.

#include "export/SafeFile.h"
#include "export/TextReport.h"
#include "export/Workbook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Owner of the links this test plants for "someone else" (nobody).
constexpr uid_t kOtherUser = 65534;

const QByteArray kEarlier = "earlier file of the pilot\n";

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool linkOwnedBy(const QString &target, const QString &link, uid_t owner)
{
    const QByteArray l = QFile::encodeName(link);
    return ::symlink(QFile::encodeName(target).constData(), l.constData()) == 0
        && (owner == ::geteuid() || ::lchown(l.constData(), owner, gid_t(-1)) == 0);
}

FlightTable flights(int count)
{
    FlightTable table;
    for (int n = 1; n <= count; ++n) {
        FlightSummary s;
        s.flightNumber = qint16(n);
        s.date = QStringLiteral("2005-07-14");
        s.startTime = QStringLiteral("09:05");
        s.duration = QStringLiteral("01:30");
        s.qneMin = QStringLiteral("850");
        s.qneMax = QStringLiteral("2130");
        s.heightDiffMax = QStringLiteral("1280");
        s.totalGain = QStringLiteral("3400");
        s.liftMax = QStringLiteral("4.5");
        s.sinkMax = QStringLiteral("3.2");
        s.speedMin = QStringLiteral("18");
        s.speedMax = QStringLiteral("52");
        table.store(s);
    }
    return table;
}

// Runs job in a child process whose files may grow to limit bytes at most
// (0: no limit); SIGXFSZ is ignored there, so a write past the limit fails
// with an error instead of ending the process. The job's answer comes back
// as the exit status; -1 when the child did not end normally.
int runLimited(rlim_t limit, const std::function<bool()> &job)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
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

enum class Writer { Report, Bytes, Book };

// Folder states for the names table.
enum class Plant {
    Nothing,
    OwnLink, // name -> victim.txt, made by the user
    ForeignLink, // name -> victim.txt, owned by someone else
    OwnLinkViaForeignLink, // name -> middle.txt (someone else's) -> victim.txt
    ForeignDanglingLink, // name -> missing.txt, owned by someone else
    FileMeanwhile, // a file appears at the workbook's name after it was chosen
    OwnLinkMeanwhile, // a link to victim.txt appears there instead
    EarlierAndFileMeanwhile, // "Flight log.xlsx" exists, then "(2)" appears too
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
    QVERIFY(put(earlier, kEarlier));

    const QString next = Workbook::nextFreePath(dir.path());
    const int status = runLimited(rlim_t(limit), [&] {
        switch (writer) {
        case Writer::Report:
            return TextReport::writeFile(earlier, data);
        case Writer::Bytes:
            return SafeFile::write(earlier, big);
        case Writer::Book:
            return Workbook::write(next, data);
        }
        return false;
    });
    QCOMPARE(status, ok ? 0 : 1);

    if (!ok) {
        QCOMPARE(contents(earlier), kEarlier);
        QCOMPARE(entries(dir.path()), QStringList { QFileInfo(earlier).fileName() });
    } else if (writer == Writer::Book) {
        QCOMPARE(contents(earlier), kEarlier);
        QCOMPARE(entries(dir.path()), (QStringList { "Flight log (2).xlsx", "Flight log.xlsx" }));
    } else {
        QCOMPARE(contents(earlier), writer == Writer::Bytes ? big : *TextReport::build(data));
        QCOMPARE(entries(dir.path()), QStringList { "flightlog.txt" });
    }
}

void TstFileSafety::namesAndLinks_data()
{
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Plant>("plant");
    QTest::addColumn<QString>("landsAt"); // where the new file ends up; empty: nowhere

    const auto withChar
        = [](char16_t c) { return QStringLiteral("flight").append(QChar(c)).append("log.txt"); };
    // Each of these fails the export and writes nothing.
    QTest::newRow("NUL") << Writer::Report << withChar(0) << Plant::Nothing << "";
    QTest::newRow("line feed") << Writer::Report << withChar(u'\n') << Plant::Nothing << "";
    QTest::newRow("carriage return") << Writer::Report << withChar(u'\r') << Plant::Nothing << "";
    QTest::newRow("tab") << Writer::Report << withChar(u'\t') << Plant::Nothing << "";
    QTest::newRow("unit separator") << Writer::Report << withChar(0x1F) << Plant::Nothing << "";
    QTest::newRow("DEL") << Writer::Report << withChar(0x7F) << Plant::Nothing << "";
    QTest::newRow("plain name still works")
        << Writer::Report << "flight log \u00e9.txt" << Plant::Nothing << "flight log \u00e9.txt";

    QTest::newRow("link of someone else's") << Writer::Report << "flightlog.txt" << Plant::ForeignLink << "";
    QTest::newRow("own link through someone else's")
        << Writer::Report << "flightlog.txt" << Plant::OwnLinkViaForeignLink << "";
    QTest::newRow("dangling link of someone else's")
        << Writer::Report << "flightlog.txt" << Plant::ForeignDanglingLink << "";
    QTest::newRow("the pilot's own link is followed")
        << Writer::Report << "flightlog.txt" << Plant::OwnLink << "victim.txt";

    QTest::newRow("workbook name taken by a file")
        << Writer::Book << "" << Plant::FileMeanwhile << "Flight log (2).xlsx";
    QTest::newRow("workbook name taken by a link")
        << Writer::Book << "" << Plant::OwnLinkMeanwhile << "Flight log (2).xlsx";
    QTest::newRow("workbook's second name taken")
        << Writer::Book << "" << Plant::EarlierAndFileMeanwhile << "Flight log (3).xlsx";
}

void TstFileSafety::namesAndLinks()
{
    QFETCH(Writer, writer);
    QFETCH(QString, name);
    QFETCH(Plant, plant);
    QFETCH(QString, landsAt);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString victim = dir.filePath("victim.txt");
    QVERIFY(put(victim, kEarlier));
    const FlightTable table = flights(3);
    const ExportData data { QStringLiteral("PILOT   "), 1, 3, &table };

    if (plant == Plant::EarlierAndFileMeanwhile)
        QVERIFY(put(dir.filePath("Flight log.xlsx"), kEarlier));
    QString path = writer == Writer::Book ? Workbook::nextFreePath(dir.path()) : dir.filePath(name);

    const bool foreign = plant == Plant::ForeignLink || plant == Plant::OwnLinkViaForeignLink
        || plant == Plant::ForeignDanglingLink;
    if (foreign && ::geteuid() != 0)
        QSKIP("planting a link of another user's needs root");
    switch (plant) {
    case Plant::Nothing:
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
    case Plant::FileMeanwhile:
    case Plant::EarlierAndFileMeanwhile:
        QVERIFY(put(path, kEarlier));
        break;
    }
    const QStringList before = entries(dir.path());

    QString placedAt;
    const bool ok
        = writer == Writer::Book ? Workbook::write(path, data, &placedAt) : TextReport::writeFile(path, data);
    QCOMPARE(ok, !landsAt.isEmpty());

    // Whatever was planted stays as it was; the victim changes only when
    // the pilot's own link leads there.
    QStringList after = before;
    if (!landsAt.isEmpty() && !after.contains(landsAt)) {
        after.append(landsAt);
        after.sort();
    }
    QCOMPARE(entries(dir.path()), after);
    if (plant != Plant::Nothing && plant != Plant::FileMeanwhile && plant != Plant::EarlierAndFileMeanwhile)
        QVERIFY(QFileInfo(path).isSymLink());
    if (plant == Plant::FileMeanwhile || plant == Plant::EarlierAndFileMeanwhile)
        QCOMPARE(contents(path), kEarlier);
    QCOMPARE(contents(victim), landsAt == "victim.txt" ? *TextReport::build(data) : kEarlier);

    if (writer == Writer::Book) {
        QCOMPARE(placedAt, dir.filePath(landsAt));
        QVERIFY(contents(placedAt).startsWith("PK"));
    } else if (ok && landsAt != "victim.txt") {
        QCOMPARE(contents(dir.filePath(landsAt)), *TextReport::build(data));
    }
}

QTEST_GUILESS_MAIN(TstFileSafety)
#include "tst_filesafety.moc"
