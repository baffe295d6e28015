#include "ui/AboutDialog.h"
#include "ui/AppInfo.h"
#include "ui/Registry.h"
#include "ui/SystemInfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

// Stand-in for the main window: one button that must not react while the
// About window is open.
class StandInMain : public QWidget
{
public:
    StandInMain()
    {
        resize(618, 502);
        button = new QPushButton(QStringLiteral("Operation"), this);
        button->setGeometry(10, 10, 120, 24);
    }
    QPushButton *button;
};

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadFillsCaptionAndLabels();
    void keysClose_data();
    void keysClose();
    void mainWindowTakesNoInputWhileOpen();
    void sysInfoUnavailableShowsMessage();
    void sysInfoStartsToolFoundOnPath();
    void sysInfoCandidates_data();
    void sysInfoCandidates();
    void registryPathNamingMissingFileCannotStart();
    void cutRegistryText_data();
    void cutRegistryText();

private:
    QLabel *label(const char *name) const { return m_about->findChild<QLabel *>(QLatin1String(name)); }
    QMessageBox *sysInfoBox() const
    {
        return m_about->findChild<QMessageBox *>(QStringLiteral("msgSysInfoUnavailable"));
    }

    StandInMain *m_main = nullptr;
    AboutDialog *m_about = nullptr;
    QByteArray m_savedPath;
};

void TestAbout::init()
{
    m_savedPath = qgetenv("PATH");
    m_main = new StandInMain;
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
    m_about = new AboutDialog(m_main);
}

void TestAbout::cleanup()
{
    qputenv("PATH", m_savedPath);
    delete m_main; // takes the About window with it
    m_main = nullptr;
    m_about = nullptr;
}

void TestAbout::loadFillsCaptionAndLabels()
{
    QCOMPARE(label("lblTitle")->text(), QStringLiteral("Application Title"));
    m_about->present();
    QVERIFY(m_about->isVisible()); // present() returned while the window is open

    QCOMPARE(m_about->windowTitle(), QStringLiteral("About TOLMERA READER Orvin"));
    QCOMPARE(label("lblTitle")->text(), QStringLiteral("TOLMERA READER Orvin"));
    QCOMPARE(label("lblVersion")->text(), QStringLiteral("Version 0.9.3"));
    QVERIFY(label("lblDescription")->text().contains(QStringLiteral("support@tolmera.example")));
    QCOMPARE(label("Label1")->text(), QStringLiteral("Only tested for Microsoft Windows XP"));
    QCOMPARE(m_about->size(), QSize(339, 244));
    QVERIFY(!m_about->windowIcon().isNull());
    QVERIFY(!label("picIcon")->pixmap().isNull());

    // Each showing loads the window again.
    m_about->setWindowTitle(QString());
    m_about->cmdOK_Click();
    m_about->present();
    QCOMPARE(m_about->windowTitle(), QStringLiteral("About TOLMERA READER Orvin"));
}

void TestAbout::keysClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void TestAbout::keysClose()
{
    QFETCH(int, key);
    m_about->present();
    QVERIFY(QTest::qWaitForWindowExposed(m_about));
    QTest::keyClick(m_about, Qt::Key(key));
    QVERIFY(!m_about->isVisible());
}

void TestAbout::mainWindowTakesNoInputWhileOpen()
{
    QSignalSpy clicks(m_main->button, &QPushButton::clicked);
    m_about->present();
    QVERIFY(QTest::qWaitForWindowExposed(m_about));
    QCOMPARE(QApplication::activeModalWidget(), m_about);
    QCOMPARE(m_about->windowModality(), Qt::ApplicationModal);
    // Through the window system, as a real click arrives, so that modality applies.
    QWindow *mainWindow = m_main->windowHandle();
    const QPoint onButton = m_main->button->geometry().center();
    QTest::mouseClick(mainWindow, Qt::LeftButton, {}, onButton);
    QTest::keyClick(mainWindow, Qt::Key_Space);
    QCOMPARE(clicks.count(), 0);

    QTest::mouseClick(m_about->findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QVERIFY(!m_about->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QTest::mouseClick(mainWindow, Qt::LeftButton, {}, onButton);
    QCOMPARE(clicks.count(), 1);
}

void TestAbout::sysInfoUnavailableShowsMessage()
{
    QTemporaryDir emptyDir;
    qputenv("PATH", emptyDir.path().toLocal8Bit());
    m_about->present();
    QTest::mouseClick(m_about->findChild<QPushButton *>(QStringLiteral("cmdSysInfo")), Qt::LeftButton);

    QMessageBox *box = sysInfoBox();
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(box->windowTitle(), QStringLiteral("TOLMERA READER Orvin"));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(!sysInfoBox());
    QVERIFY(m_about->isVisible());
}

void TestAbout::sysInfoStartsToolFoundOnPath()
{
    QTemporaryDir toolDir;
    const QString marker = toolDir.filePath(QStringLiteral("started"));
    QFile tool(toolDir.filePath(QStringLiteral("hardinfo")));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\n: > '" + marker.toLocal8Bit() + "'\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", toolDir.path().toLocal8Bit() + ":/usr/bin:/bin");

    m_about->present();
    m_about->cmdSysInfo_Click();
    QTRY_VERIFY(QFile::exists(marker));
    QVERIFY(!sysInfoBox());
    QVERIFY(m_about->isVisible());
}

// A made-up system: registry values, files and programs on PATH as listed.
void TestAbout::sysInfoCandidates_data()
{
    QTest::addColumn<QString>("msinfoPath"); // null: value missing
    QTest::addColumn<QString>("toolLocation"); // null: value missing
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("onPath");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("registryReads");
    const auto row
        = [](const char *tag, const QString &msinfoPath, const QString &toolLocation,
              const QStringList &files, const QStringList &onPath, const QStringList &expected, int reads) {
              QTest::newRow(tag) << msinfoPath << toolLocation << files << onPath << expected << reads;
          };

    const QString exe = "C:\\Tools\\MSINFO32.EXE";
    row("PATH value wins, location not read", "C:\\Missing\\msinfo32.exe", "C:\\Tools", { exe }, {},
        { "C:\\Missing\\msinfo32.exe" }, 1);
    row("location folder with the tool", QString(), "C:\\Tools", { exe }, {}, { exe }, 2);
    row("location folder without the tool", QString(), "C:\\Tools", {}, {}, {}, 2);
    row("desktop tools in their order", QString(), QString(), {}, { "gnome-system-monitor", "kinfocenter" },
        { "/bin/kinfocenter", "/bin/gnome-system-monitor" }, 2);
    row("registry tool before desktop tool", "C:\\x.exe", QString(), {}, { "hardinfo" },
        { "C:\\x.exe", "/bin/hardinfo" }, 1);
}

void TestAbout::sysInfoCandidates()
{
    QFETCH(QString, msinfoPath);
    QFETCH(QString, toolLocation);
    QFETCH(QStringList, files);
    QFETCH(QStringList, onPath);
    QFETCH(QStringList, expected);
    QFETCH(int, registryReads);

    int reads = 0;
    SysInfoSystem system;
    system.readMachineValue = [&](const QString &key, const QString &value) -> std::optional<QString> {
        ++reads;
        if (key == QLatin1String("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO")
            && value == QLatin1String("PATH") && !msinfoPath.isNull())
            return msinfoPath;
        if (key == QLatin1String("SOFTWARE\\Microsoft\\Shared Tools Location")
            && value == QLatin1String("MSINFO") && !toolLocation.isNull())
            return toolLocation;
        return std::nullopt;
    };
    system.fileExists = [&](const QString &path) { return files.contains(path); };
    system.findExecutable = [&](const QString &name) {
        return onPath.contains(name) ? QStringLiteral("/bin/") + name : QString();
    };

    QCOMPARE(::sysInfoCandidates(system), expected);
    QCOMPARE(reads, registryReads);
}

void TestAbout::registryPathNamingMissingFileCannotStart()
{
    SysInfoSystem system;
    system.readMachineValue = [](const QString &key, const QString &) -> std::optional<QString> {
        if (key.endsWith(QLatin1String("MSINFO")))
            return QStringLiteral("/nonexistent/msinfo32");
        return std::nullopt;
    };
    system.fileExists = [](const QString &) { return true; };
    system.findExecutable = [](const QString &) { return QString(); };
    QCOMPARE(startSysInfoTool(system), std::nullopt);

    // And outside Windows the registry is empty: both look-ups fail.
    QString value = QStringLiteral("left over");
    QVERIFY(!GetKeyValue(registryLocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
        QStringLiteral("PATH"), value));
    QVERIFY(value.isEmpty());
}

void TestAbout::cutRegistryText_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray text("C:\\msinfo32.exe");
    QByteArray buffer = text;
    buffer.append(QByteArray(1024 - text.size(), '\0'));
    const qint64 length = text.size();

    QTest::newRow("size counts the closing NUL") << buffer << length + 1 << text;
    QTest::newRow("size without the NUL") << buffer << length << text;
    QTest::newRow("size one short") << buffer << length - 1 << text.left(length - 1);
    QTest::newRow("size zero") << buffer << qint64(0) << QByteArray();
    QTest::newRow("negative size") << buffer << qint64(-5) << QByteArray();
    QTest::newRow("one NUL only") << buffer.mid(length) << qint64(1) << QByteArray();
    QTest::newRow("size past a full buffer") << QByteArray("abc") << qint64(4096) << QByteArray("abc");
    QTest::newRow("size past, NUL at end") << QByteArray("ab\0", 3) << qint64(2000) << QByteArray("ab");
    QTest::newRow("empty buffer") << QByteArray() << qint64(3) << QByteArray();
    QTest::newRow("NUL inside the text is kept")
        << QByteArray("a\0b", 3) << qint64(3) << QByteArray("a\0b", 3);
}

void TestAbout::cutRegistryText()
{
    QFETCH(QByteArray, buffer);
    QFETCH(qint64, size);
    QFETCH(QByteArray, expected);
    QCOMPARE(::cutRegistryText(buffer, size), expected);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
