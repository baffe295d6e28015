#include "ui/HelpWindow.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensOnIntroduction();
    void topicShowsOnlyItsPage_data();
    void topicShowsOnlyItsPage();
    void otherPositionReportsProgrammaFout_data();
    void otherPositionReportsProgrammaFout();
    void resizingKeepsContentsInPlace();
    void closingDeletesWindow();

private:
    QGroupBox *page(const QString &name) const { return m_help->findChild<QGroupBox *>(name); }
    QListWidget *topics() const { return m_help->findChild<QListWidget *>(QStringLiteral("lstHelpTopics")); }
    QStringList visiblePages() const
    {
        QStringList names;
        for (const char *name : { "frmIntro", "frmCable", "frmFaq" }) {
            if (page(QLatin1String(name))->isVisible())
                names << QLatin1String(name);
        }
        return names;
    }

    QPointer<HelpWindow> m_help;
};

void TestHelp::init()
{
    m_help = new HelpWindow;
    m_help->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_help));
}

void TestHelp::cleanup()
{
    delete m_help.data();
}

void TestHelp::opensOnIntroduction()
{
    QCOMPARE(m_help->windowTitle(), QStringLiteral("Info"));
    QCOMPARE(m_help->size(), QSize(501, 237));
    QVERIFY(!m_help->windowIcon().isNull());

    QListWidget *list = topics();
    QStringList items;
    for (int row = 0; row < list->count(); ++row)
        items << list->item(row)->text();
    QCOMPARE(items, (QStringList { "Introduction", "Cable", "FAQ" }));
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(list->currentItem()->isSelected());
    QCOMPARE(visiblePages(), QStringList { "frmIntro" });

    const auto labels = page(QStringLiteral("frmIntro"))->findChildren<QLabel *>();
    QStringList texts;
    for (const QLabel *label : labels)
        texts << label->text();
    QVERIFY(texts.contains(QStringLiteral("Why this program")));
    QVERIFY(texts.contains(QStringLiteral("Only information about how to make the datacable is available")));
}

void TestHelp::topicShowsOnlyItsPage_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("pageName");
    QTest::newRow("Cable") << 1 << QStringLiteral("frmCable");
    QTest::newRow("FAQ") << 2 << QStringLiteral("frmFaq");
    QTest::newRow("back to Introduction") << 0 << QStringLiteral("frmIntro");
}

void TestHelp::topicShowsOnlyItsPage()
{
    QFETCH(int, row);
    QFETCH(QString, pageName);

    // Start elsewhere, then pick the topic with the mouse as a user would.
    topics()->setCurrentRow(row == 2 ? 1 : 2);
    QListWidget *list = topics();
    const QRect itemRect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, itemRect.center());

    QCOMPARE(list->currentRow(), row);
    QCOMPARE(visiblePages(), QStringList { pageName });
    QVERIFY(!m_help->findChild<QMessageBox *>());

    if (pageName == QLatin1String("frmCable")) {
        auto *image = page(pageName)->findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(image);
        QCOMPARE(image->pixmap().size(), QSize(383, 210));
        QVERIFY(page(pageName)->rect().contains(image->geometry()));
    }
    if (pageName == QLatin1String("frmFaq")) {
        auto *label = page(pageName)->findChild<QLabel *>();
        QCOMPARE(label->text(), QStringLiteral("No FAQ available"));
    }
}

void TestHelp::otherPositionReportsProgrammaFout_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("just past the list") << 3;
    QTest::newRow("no selection") << -1;
    QTest::newRow("far out") << 1000;
}

void TestHelp::otherPositionReportsProgrammaFout()
{
    QFETCH(int, position);
    topics()->setCurrentRow(1);
    QCOMPARE(visiblePages(), QStringList { "frmCable" });

    m_help->lstHelpTopics_Click(position);

    auto *box = m_help->findChild<QMessageBox *>(QStringLiteral("msgProgrammaFout"));
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("Programma fout"));
    QCOMPARE(box->windowTitle(), QStringLiteral("TOLMERA READER Orvin"));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(visiblePages(), QStringList { "frmCable" });

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(!m_help->findChild<QMessageBox *>());
    QCOMPARE(visiblePages(), QStringList { "frmCable" });
}

void TestHelp::resizingKeepsContentsInPlace()
{
    const QStringList names { "Frame1", "lstHelpTopics", "frmIntro", "frmCable", "frmFaq", "Image1" };
    QList<QRect> before;
    for (const QString &name : names)
        before << m_help->findChild<QWidget *>(name)->geometry();
    QCOMPARE(before.at(2), QRect(before.at(2).topLeft(), QSize(401, 233)));
    QCOMPARE(before.at(3), before.at(2));
    QCOMPARE(before.at(4), before.at(2));
    QVERIFY(before.at(2).left() >= before.at(0).right()); // pages right of "Topics"

    for (const QSize size : { QSize(900, 600), QSize(250, 120) }) {
        m_help->resize(size);
        QTRY_COMPARE(m_help->size(), size);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(m_help->findChild<QWidget *>(names.at(i))->geometry(), before.at(i));
    }
}

void TestHelp::closingDeletesWindow()
{
    topics()->setCurrentRow(2);
    QVERIFY(m_help->close());
    QTRY_VERIFY(m_help.isNull());

    // The next window starts on the introduction again.
    m_help = new HelpWindow;
    QCOMPARE(topics()->currentRow(), 0);
    QCOMPARE(m_help->pageAt(0), page(QStringLiteral("frmIntro")));
    QVERIFY(!page(QStringLiteral("frmCable"))->isVisibleTo(m_help));
    QVERIFY(!page(QStringLiteral("frmFaq"))->isVisibleTo(m_help));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
