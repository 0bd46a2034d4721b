#include "gbiteditor.h"
#include "gcheckbox.h"
#include "gcombobox.h"
#include "gdoublespinbox.h"
#include "glineedit.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Accepts text without digits; remembers what the change hook saw.
class LettersOnlyEdit : public GLineEdit
{
public:
    QStringList seen;

protected:
    bool validate(const QString& text, QString* errorMessage) const override
    {
        for (const QChar c : text) {
            if (c.isDigit()) {
                *errorMessage = QStringLiteral("no digits");
                return false;
            }
        }
        return true;
    }
    void slotChanged(const QString& text) override { seen.append(text); }
};

}

class TestBitEditor : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void layoutPlacesNamesBitsAndButtons();
    void hostileBitCountsAreBounded_data();
    void hostileBitCountsAreBounded();
    void allNoneInverse_data();
    void allNoneInverse();
    void hexTextIsParsed_data();
    void hexTextIsParsed();
    void hexFieldIsFormatted_data();
    void hexFieldIsFormatted();
    void clickingABitRewritesHexAndReports();
    void settingAnEqualValueEmitsNothing();
    void valueCombinesRowsIndependently();
    void labelsFillMissingNames();
    void editingANameReportsAllNames();
    void outOfRangeRowsAreIgnored();

    void doubleSpinBoxDefaults();
    void doubleSpinBoxWidensForLongValues();
    void lineEditValidationAndLength();
    void checkBoxAndComboBox();

private:
    static QLineEdit* hexField(GBitEditor& editor, int row)
    {
        return editor.findChild<QLineEdit*>(QStringLiteral("hex_%1").arg(row));
    }
    static QCheckBox* bitBox(GBitEditor& editor, int row, int bit)
    {
        return editor.findChild<QCheckBox*>(QStringLiteral("bit_%1_%2").arg(row).arg(bit));
    }
    // The button of a row, found by its place in the grid and checked by its text.
    static QPushButton* button(GBitEditor& editor, const QString& text, int row)
    {
        auto* grid = static_cast<QGridLayout*>(editor.layout());
        for (int line = 0; line < grid->rowCount(); ++line) {
            QLayoutItem* item = grid->itemAtPosition(line, row + 1);
            auto* push = item ? qobject_cast<QPushButton*>(item->widget()) : nullptr;
            if (push && push->text() == text)
                return push;
        }
        return nullptr;
    }
};

void TestBitEditor::layoutPlacesNamesBitsAndButtons()
{
    GBitEditor editor(4);
    editor.addRow();
    editor.addRow();
    editor.setRowName(0, QStringLiteral("Category"));
    editor.setRowName(1, QStringLiteral("Mask"));
    auto* grid = qobject_cast<QGridLayout*>(editor.layout());
    QVERIFY(grid);
    QCOMPARE(grid->spacing(), 1);
    QCOMPARE(grid->columnStretch(0), 10);

    const auto textAt = [grid](int row, int column) -> QString {
        QLayoutItem* item = grid->itemAtPosition(row, column);
        if (!item || !item->widget())
            return QStringLiteral("<none>");
        if (auto* label = qobject_cast<QLabel*>(item->widget()))
            return label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(item->widget()))
            return edit->text();
        if (auto* push = qobject_cast<QPushButton*>(item->widget()))
            return push->text();
        if (qobject_cast<QCheckBox*>(item->widget()))
            return QStringLiteral("<check>");
        return QStringLiteral("<other>");
    };

    QCOMPARE(textAt(0, 0), QStringLiteral("Bit's name"));
    for (int bit = 0; bit < 4; ++bit)
        QCOMPARE(textAt(bit + 1, 0), QStringLiteral("bit_%1").arg(bit));
    QCOMPARE(textAt(5, 0), QStringLiteral("<none>"));
    QCOMPARE(textAt(6, 0), QStringLiteral("value (hex)"));
    QCOMPARE(textAt(0, 1), QStringLiteral("Category"));
    QCOMPARE(textAt(0, 2), QStringLiteral("Mask"));
    for (int column = 1; column <= 2; ++column) {
        for (int bit = 0; bit < 4; ++bit)
            QCOMPARE(textAt(bit + 1, column), QStringLiteral("<check>"));
        QCOMPARE(textAt(6, column), QStringLiteral("0000"));
        QCOMPARE(textAt(7, column), QStringLiteral("All"));
        QCOMPARE(textAt(8, column), QStringLiteral("None"));
        QCOMPARE(textAt(9, column), QStringLiteral("Inv."));
    }
    QCOMPARE(editor.rowCount(), 2);
    QCOMPARE(editor.rowName(1), QStringLiteral("Mask"));
}

void TestBitEditor::hostileBitCountsAreBounded_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");
    QTest::newRow("negative") << -5 << 0;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("thirty-two") << 32 << 32;
    QTest::newRow("huge") << 1000000 << 32;
}

void TestBitEditor::hostileBitCountsAreBounded()
{
    QFETCH(int, requested);
    QFETCH(int, expected);
    GBitEditor editor(requested);
    QCOMPARE(editor.bitCount(), expected);
    const int row = editor.addRow();
    QCOMPARE(editor.findChildren<QCheckBox*>().size(), expected);
    editor.allButtonPressed(row);
    const quint32 all = expected == 32 ? 0xffffffffu : (quint32(1) << expected) - 1;
    QCOMPARE(editor.value(row), all);
    QCOMPARE(editor.labels().size(), expected);
}

void TestBitEditor::allNoneInverse_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("allText");
    QTest::addColumn<quint32>("allValue");
    QTest::newRow("16 bits") << 16 << QStringLiteral("ffffffff") << quint32(0xffff);
    QTest::newRow("32 bits") << 32 << QStringLiteral("ffffffff") << quint32(0xffffffff);
    QTest::newRow("8 bits") << 8 << QStringLiteral("ffffffff") << quint32(0xff);
}

void TestBitEditor::allNoneInverse()
{
    QFETCH(int, bits);
    QFETCH(QString, allText);
    QFETCH(quint32, allValue);
    GBitEditor editor(bits);
    editor.addRow();
    const int row = editor.addRow();
    QSignalSpy spy(&editor, &GBitEditor::valueChanged);

    QTest::mouseClick(button(editor, QStringLiteral("All"), row), Qt::LeftButton);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), row);
    // "All" sets all 32 bits, whatever the width.
    QCOMPARE(spy.at(0).at(1).value<quint32>(), quint32(4294967295u));
    QCOMPARE(hexField(editor, row)->text(), allText);
    QCOMPARE(editor.value(row), allValue);
    QCOMPARE(editor.value(0), quint32(0));

    QTest::mouseClick(button(editor, QStringLiteral("None"), row), Qt::LeftButton);
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(1).at(1).value<quint32>(), quint32(0));
    QCOMPARE(editor.value(row), quint32(0));
    QCOMPARE(hexField(editor, row)->text(), QStringLiteral("0").repeated(bits == 32 ? 8 : 4));

    TestSupport::clickCheckBox(bitBox(editor, row, 1));
    TestSupport::clickCheckBox(bitBox(editor, row, 3));
    QCOMPARE(editor.value(row), quint32(0xa));
    spy.clear();
    QTest::mouseClick(button(editor, QStringLiteral("Inv."), row), Qt::LeftButton);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(1).value<quint32>(), ~quint32(0xa));
    QCOMPARE(editor.value(row), ~quint32(0xa) & allValue);
    QVERIFY(!bitBox(editor, row, 1)->isChecked());
    QVERIFY(bitBox(editor, row, 0)->isChecked());
}

void TestBitEditor::hexTextIsParsed_data()
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

void TestBitEditor::hexTextIsParsed()
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
    QVERIFY(!spy.isEmpty());
    QCOMPARE(spy.last().at(0).toInt(), row);
    QCOMPARE(spy.last().at(1).value<quint32>(), expected);
    QCOMPARE(editor.value(row), expected);
    for (int bit = 0; bit < 32; ++bit)
        QCOMPARE(bitBox(editor, row, bit)->isChecked(), bool(expected & (quint32(1) << bit)));
    QCOMPARE(hex->text(), text);
}

void TestBitEditor::hexFieldIsFormatted_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("32 bits pads to 8") << 32 << quint32(0x2a) << QStringLiteral("0000002a");
    QTest::newRow("16 bits pads to 4") << 16 << quint32(0x2a) << QStringLiteral("002a");
    QTest::newRow("8 bits pads to 4") << 8 << quint32(0x5) << QStringLiteral("0005");
    QTest::newRow("long values show all digits") << 16 << quint32(0x12345) << QStringLiteral("12345");
}

void TestBitEditor::hexFieldIsFormatted()
{
    QFETCH(int, bits);
    QFETCH(quint32, value);
    QFETCH(QString, text);
    GBitEditor editor(bits);
    const int row = editor.addRow();
    QSignalSpy spy(&editor, &GBitEditor::valueChanged);
    editor.setValue(row, value);
    QCOMPARE(hexField(editor, row)->text(), text);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(1).value<quint32>(), value);
}

void TestBitEditor::clickingABitRewritesHexAndReports()
{
    GBitEditor editor(16);
    const int row = editor.addRow();
    QSignalSpy spy(&editor, &GBitEditor::valueChanged);
    TestSupport::clickCheckBox(bitBox(editor, row, 4));
    QCOMPARE(hexField(editor, row)->text(), QStringLiteral("0010"));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(1).value<quint32>(), quint32(0x10));
    TestSupport::clickCheckBox(bitBox(editor, row, 15));
    QCOMPARE(hexField(editor, row)->text(), QStringLiteral("8010"));
    QCOMPARE(spy.last().at(1).value<quint32>(), quint32(0x8010));
    TestSupport::clickCheckBox(bitBox(editor, row, 4));
    QCOMPARE(editor.value(row), quint32(0x8000));
    QCOMPARE(spy.size(), 3);
}

void TestBitEditor::settingAnEqualValueEmitsNothing()
{
    GBitEditor editor(16);
    const int row = editor.addRow();
    editor.setValue(row, 0x21);
    QSignalSpy spy(&editor, &GBitEditor::valueChanged);
    editor.setValue(row, 0x21);
    QCOMPARE(spy.size(), 0);
    // A value replaces text the user left in the hex field even when the bits agree.
    QLineEdit* hex = hexField(editor, row);
    hex->selectAll();
    QTest::keyClicks(hex, QStringLiteral("21zz"));
    QCOMPARE(editor.value(row), quint32(0));
    spy.clear();
    editor.setValue(row, 0);
    QCOMPARE(spy.size(), 0);
    QCOMPARE(hex->text(), QStringLiteral("0000"));
}

void TestBitEditor::valueCombinesRowsIndependently()
{
    GBitEditor editor(8);
    editor.addRow();
    editor.addRow();
    editor.addRow();
    editor.setValue(0, 0x81);
    editor.setValue(1, 0x7e);
    editor.setValue(2, 0x3c);
    QCOMPARE(editor.value(0), quint32(0x81));
    QCOMPARE(editor.value(1), quint32(0x7e));
    QCOMPARE(editor.value(2), quint32(0x3c));
    QVERIFY(bitBox(editor, 0, 7)->isChecked());
    QVERIFY(!bitBox(editor, 1, 7)->isChecked());
    // Bits beyond the width are not kept.
    editor.setValue(1, 0x1ff);
    QCOMPARE(editor.value(1), quint32(0xff));
}

void TestBitEditor::labelsFillMissingNames()
{
    GBitEditor editor(3);
    editor.setLabels({QStringLiteral("ground")});
    QCOMPARE(editor.labels(),
             QStringList({QStringLiteral("ground"), QStringLiteral("bit_1"), QStringLiteral("bit_2")}));
    editor.setLabels({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    QCOMPARE(editor.labels(), QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    editor.setLabels({});
    QCOMPARE(editor.findChild<QLineEdit*>(QStringLiteral("bitName_0"))->text(), QStringLiteral("bit_0"));
}

void TestBitEditor::editingANameReportsAllNames()
{
    GBitEditor editor(3);
    editor.addRow();
    editor.setLabels({QStringLiteral("ground"), QStringLiteral("player")});
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QSignalSpy spy(&editor, &GBitEditor::labelsChanged);

    // Passing through a name without changing it is not an edit.
    QLineEdit* second = editor.findChild<QLineEdit*>(QStringLiteral("bitName_1"));
    second->setFocus();
    QTest::keyClick(second, Qt::Key_Return);
    QCOMPARE(spy.size(), 0);

    second->selectAll();
    QTest::keyClicks(second, QStringLiteral("enemy"));
    QCOMPARE(spy.size(), 0);
    QTest::keyClick(second, Qt::Key_Return);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toStringList(),
             QStringList({QStringLiteral("ground"), QStringLiteral("enemy"), QStringLiteral("bit_2")}));
    QVERIFY(editor.findChild<QCheckBox*>() != nullptr);
}

void TestBitEditor::outOfRangeRowsAreIgnored()
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

void TestBitEditor::doubleSpinBoxDefaults()
{
    GDoubleSpinBox box;
    QCOMPARE(box.decimals(), 2);
    QCOMPARE(box.minimum(), -99999999999999.0);
    QCOMPARE(box.maximum(), 99999999999999.0);
    QCOMPARE(box.singleStep(), 0.1);
    QVERIFY(box.alignment() & Qt::AlignRight);
    box.setValue(12345678901.25);
    QCOMPARE(box.value(), 12345678901.25);
    box.setValue(-1.234);
    QCOMPARE(box.value(), -1.23);
}

void TestBitEditor::doubleSpinBoxWidensForLongValues()
{
    GDoubleSpinBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const int preferred = box.sizeHint().width();
    // An everyday value fits the preferred size.
    box.setValue(-999.5);
    QVERIFY(box.minimumWidth() <= preferred);
    QVERIFY(box.fontMetrics().horizontalAdvance(box.text()) < preferred);

    box.setValue(-12345678901234.5);
    QVERIFY(box.minimumWidth() > preferred);
    QVERIFY(box.minimumWidth() > box.fontMetrics().horizontalAdvance(box.text()));
    // Shrinking the value does not shrink the field again.
    const int widened = box.minimumWidth();
    box.setValue(1);
    QCOMPARE(box.minimumWidth(), widened);
}

void TestBitEditor::lineEditValidationAndLength()
{
    LettersOnlyEdit edit;
    QVERIFY(edit.isValid());
    QCOMPARE(edit.sizeHint(), QSize(50, 20));
    const QColor normal = edit.palette().color(QPalette::Active, QPalette::Text);

    QSignalSpy validSpy(&edit, &GLineEdit::validChanged);
    QTest::keyClicks(&edit, QStringLiteral("ab1"));
    QVERIFY(!edit.isValid());
    QCOMPARE(edit.errorMessage(), QStringLiteral("no digits"));
    QCOMPARE(edit.palette().color(QPalette::Active, QPalette::Text), QColor(Qt::red));
    QCOMPARE(edit.seen, QStringList({QStringLiteral("a"), QStringLiteral("ab"), QStringLiteral("ab1")}));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QVERIFY(edit.isValid());
    QCOMPARE(edit.palette().color(QPalette::Active, QPalette::Text), normal);
    QCOMPARE(validSpy.size(), 2);

    edit.setExpectedLength(6);
    QCOMPARE(edit.maxLength(), 6);
    QCOMPARE(edit.sizeHint().width(), edit.fontMetrics().horizontalAdvance(QStringLiteral("MMMMMM")));
    edit.setExpectedLength(-1);
    QCOMPARE(edit.sizeHint(), QSize(50, 20));
    QVERIFY(edit.maxLength() > 6);

    // The plain line edit accepts anything.
    GLineEdit plain;
    QTest::keyClicks(&plain, QStringLiteral("12 ab !"));
    QVERIFY(plain.isValid());
}

void TestBitEditor::checkBoxAndComboBox()
{
    GCheckBox check;
    QCOMPARE(check.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(check.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    TestSupport::clickCheckBox(&check);
    QVERIFY(check.isChecked());

    GComboBox combo;
    combo.addItems({QStringLiteral("one"), QStringLiteral("two")});
    combo.setCurrentIndex(1);
    QCOMPARE(combo.currentText(), QStringLiteral("two"));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestBitEditor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_biteditor.moc"
