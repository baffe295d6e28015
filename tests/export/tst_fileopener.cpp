// The opener is run from PATH; stand-in "xdg-open" scripts in a private
// folder record what they were given and answer as a real opener might.

#include "export/FileOpener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TstFileOpener : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openerAnswer_data();
    void openerAnswer();
    void missingOpener_data();
    void missingOpener();
    void slowOpenerStillRunsAfterGrace();
    void destroyedOpenerRunsOn();

private:
    // Puts an "xdg-open" with body into the stand-in folder and makes that
    // folder the whole PATH.
    void installOpener(const QByteArray &body, bool executable = true);
    QString recordPath() const { return m_dir->filePath("record"); }
    QByteArray recorded() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedPath;
};

void TstFileOpener::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir("bin"));
    m_savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir->filePath("bin")));
}

void TstFileOpener::cleanup()
{
    qputenv("PATH", m_savedPath);
    // Let finished openers delete themselves before the next test.
    QTest::qWait(50);
    m_dir.reset();
}

void TstFileOpener::installOpener(const QByteArray &body, bool executable)
{
    QFile script(m_dir->filePath("bin/xdg-open"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    const QByteArray text = "#!/bin/sh\n" + body + "\n";
    QCOMPARE(script.write(text), text.size());
    script.close();
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        perms |= QFile::ExeOwner;
    QVERIFY(script.setPermissions(perms));
}

QByteArray TstFileOpener::recorded() const
{
    QFile f(recordPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(nothing recorded)");
}

void TstFileOpener::openerAnswer_data()
{
    QTest::addColumn<QByteArray>("body"); // %R: the record file
    QTest::addColumn<bool>("ok");
    QTest::newRow("opener ends with 0") << QByteArray("printf '%s' \"$1\" > '%R'; exit 0") << true;
    QTest::newRow("opener ends with 1") << QByteArray("printf '%s' \"$1\" > '%R'; exit 1") << false;
    QTest::newRow("opener ends with 4") << QByteArray("printf '%s' \"$1\" > '%R'; exit 4") << false;
    QTest::newRow("opener crashes") << QByteArray("printf '%s' \"$1\" > '%R'; kill -SEGV $$") << false;
}

void TstFileOpener::openerAnswer()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, ok);
    installOpener(body.replace("%R", QFile::encodeName(recordPath())));

    // Spaces, brackets and a quote reach the opener as one argument.
    const QString file = m_dir->filePath("Pilot's Flight log (2).xlsx");
    FileOpener opener;
    QSignalSpy spy(&opener, &FileOpener::finished);
    QCOMPARE(opener.state(), FileOpener::State::Idle);
    opener.start(file);
    QCOMPARE(opener.state(), FileOpener::State::Running);

    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, 10000);
    QCOMPARE(spy.at(0).at(0).toBool(), ok);
    QCOMPARE(opener.state(), ok ? FileOpener::State::Succeeded : FileOpener::State::Failed);
    QCOMPARE(recorded(), QFile::encodeName(file));
    QTest::qWait(100);
    QCOMPARE(spy.size(), 1);
}

void TstFileOpener::missingOpener_data()
{
    QTest::addColumn<bool>("install");
    QTest::newRow("no xdg-open on PATH") << false;
    QTest::newRow("xdg-open not executable") << true;
}

void TstFileOpener::missingOpener()
{
    QFETCH(bool, install);
    if (install)
        installOpener("exit 0", false);
    FileOpener opener;
    QSignalSpy spy(&opener, &FileOpener::finished);
    opener.start(m_dir->filePath("Flight log.xlsx"));
    QCOMPARE(opener.state(), FileOpener::State::Failed);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
}

void TstFileOpener::slowOpenerStillRunsAfterGrace()
{
    // Like an opener that waits for the spreadsheet application; it ends by
    // itself after three seconds, so nothing is left running.
    installOpener("/bin/sleep 3; exit 0");
    FileOpener opener;
    QSignalSpy spy(&opener, &FileOpener::finished);
    opener.start(m_dir->filePath("Flight log.xlsx"));
    QTest::qWait(2000);
    QCOMPARE(opener.state(), FileOpener::State::Running);
    QCOMPARE(spy.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(opener.state(), FileOpener::State::Succeeded, 10000);
}

void TstFileOpener::destroyedOpenerRunsOn()
{
    // The window may be gone before the opener answers; the opener must not
    // be killed with it.
    installOpener(QByteArray("/bin/sleep 1; printf '%s' \"$1\" > '") + QFile::encodeName(recordPath()) + "'");
    const QString file = m_dir->filePath("Flight log.xlsx");
    auto opener = std::make_unique<FileOpener>();
    opener->start(file);
    QCOMPARE(opener->state(), FileOpener::State::Running);
    opener.reset();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(recordPath()), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(recorded(), QFile::encodeName(file), 5000);
    QTest::qWait(300); // the opener's end, so it can tidy itself away
}

QTEST_GUILESS_MAIN(TstFileOpener)
#include "tst_fileopener.moc"
