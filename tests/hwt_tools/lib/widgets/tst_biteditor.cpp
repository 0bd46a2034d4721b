#include "gbiteditor.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

QLineEdit* hexField(GBitEditor& editor, int row)
{
    return editor.findChild<QLineEdit*>(QStringLiteral("hex_%1").arg(row));
}

QCheckBox* bitBox(GBitEditor& editor, int row, int bit)
{
    return editor.findChild<QCheckBox*>(QStringLiteral("bit_%1_%2").arg(row).arg(bit));
}

void click(GBitEditor& editor, const char* button, int row)
{
    auto* widget = editor.findChild<QPushButton*>(QStringLiteral("%1_%2").arg(QLatin1String(button)).arg(row));
    QTest::mouseClick(widget, Qt::LeftButton);
}

// The values the editor reported, as hex text.
QStringList reported(const QSignalSpy& spy)
{
    QStringList values;
    for (const QList<QVariant>& emitted : spy)
        values << QString::number(emitted.at(1).value<quint32>(), 16);
    return values;
}

}

class TestBitEditor : public QObject
{
    Q_OBJECT

private slots:
    void hostileBitCountsAreBounded_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::newRow("negative") << -5 << 0;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("thirty-two") << 32 << 32;
        QTest::newRow("huge") << 1000000 << 32;
    }

    void hostileBitCountsAreBounded()
    {
        QFETCH(int, requested);
        QFETCH(int, expected);
        GBitEditor editor(requested);
        QCOMPARE(editor.bitCount(), expected);
        const int row = editor.addRow();
        QCOMPARE(editor.findChildren<QCheckBox*>().size(), expected);
        editor.allButtonPressed(row);
        QCOMPARE(editor.value(row), expected == 32 ? 0xffffffffu : (quint32(1) << expected) - 1);
        QCOMPARE(editor.labels().size(), expected);
    }

    void buttonsAndBitsRewriteHexAndReport()
    {
        GBitEditor editor(16);
        editor.addRow();
        const int row = editor.addRow();
        QSignalSpy spy(&editor, &GBitEditor::valueChanged);
        // "All" sets all 32 bits, whatever the width.
        click(editor, "all", row);
        QCOMPARE(hexField(editor, row)->text(), QStringLiteral("ffffffff"));
        QCOMPARE(editor.value(row), quint32(0xffff));
        click(editor, "none", row);
        QCOMPARE(hexField(editor, row)->text(), QStringLiteral("0000"));
        TestSupport::clickCheckBox(bitBox(editor, row, 4));
        QCOMPARE(hexField(editor, row)->text(), QStringLiteral("0010"));
        TestSupport::clickCheckBox(bitBox(editor, row, 15));
        QCOMPARE(hexField(editor, row)->text(), QStringLiteral("8010"));
        click(editor, "inverse", row);
        QCOMPARE(editor.value(row), quint32(0x7fef));
        QVERIFY(!bitBox(editor, row, 4)->isChecked());
        QCOMPARE(reported(spy), (QStringList{"ffffffff", "0", "10", "8010", "ffff7fef"}));
        QCOMPARE(spy.first().first().toInt(), row);
        QCOMPARE(editor.value(0), quint32(0));
    }

    void hexTextIsParsed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("small") << QStringLiteral("a5") << quint32(0xa5);
        QTest::newRow("upper case") << QStringLiteral("FF") << quint32(0xff);
        QTest::newRow("largest signed") << QStringLiteral("7fffffff") << quint32(0x7fffffff);
        QTest::newRow("above signed range") << QStringLiteral("80000000") << quint32(0);
        QTest::newRow("all bits") << QStringLiteral("ffffffff") << quint32(0);
        QTest::newRow("not hex") << QStringLiteral("zz") << quint32(0);
        QTest::newRow("negative") << QStringLiteral("-1") << quint32(0xffffffff);
    }

    void hexTextIsParsed()
    {
        QFETCH(QString, text);
        QFETCH(quint32, expected);
        GBitEditor editor(32);
        const int row = editor.addRow();
        editor.setValue(row, 0x1234);
        QSignalSpy spy(&editor, &GBitEditor::valueChanged);
        QLineEdit* hex = hexField(editor, row);
        hex->selectAll();
        QTest::keyClicks(hex, text);
        QCOMPARE(reported(spy).last(), QString::number(expected, 16));
        QCOMPARE(editor.value(row), expected);
        for (int bit = 0; bit < 32; ++bit)
            QCOMPARE(bitBox(editor, row, bit)->isChecked(), bool(expected & (quint32(1) << bit)));
        // What the user typed stays; a value set from outside replaces it, even when the bits agree.
        QCOMPARE(hex->text(), text);
        spy.clear();
        editor.setValue(row, expected);
        QCOMPARE(spy.size(), 0);
        QCOMPARE(hex->text(), QStringLiteral("%1").arg(expected, 8, 16, QLatin1Char('0')));
    }

    void labels()
    {
        GBitEditor editor(3);
        editor.addRow();
        editor.setLabels({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
        QCOMPARE(editor.labels(), (QStringList{"a", "b", "c"}));
        editor.setLabels({QStringLiteral("ground"), QStringLiteral("player")});
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QSignalSpy spy(&editor, &GBitEditor::labelsChanged);

        // Passing through a name without changing it is not an edit.
        auto* second = editor.findChild<QLineEdit*>(QStringLiteral("bitName_1"));
        second->setFocus();
        QTest::keyClick(second, Qt::Key_Return);
        second->selectAll();
        QTest::keyClicks(second, QStringLiteral("enemy"));
        QCOMPARE(spy.size(), 0);
        QTest::keyClick(second, Qt::Key_Return);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toStringList(), (QStringList{"ground", "enemy", "bit_2"}));
    }

    void outOfRangeRowsAreIgnored()
    {
        GBitEditor editor(8);
        QSignalSpy spy(&editor, &GBitEditor::valueChanged);
        editor.setValue(0, 5);
        editor.setValue(-1, 5);
        editor.allButtonPressed(3);
        editor.inverseButtonPressed(-2);
        editor.bitChanged(1);
        editor.lineEditChanged(7);
        editor.setRowName(2, QStringLiteral("x"));
        QCOMPARE(spy.size(), 0);
        QCOMPARE(editor.value(0), quint32(0));
        QCOMPARE(editor.rowName(2), QString());
    }

};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestBitEditor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_biteditor.moc"
