// The buffer window: the model's rows and marks without a window, then the window's keys: go to,
// find, differences after a compare, typing, undo, copy and the selection's sums.

#include "window/bufferwindow.h"
#include "windowfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

namespace {

// What a row shows: "address|hex bytes|characters".
QString rowText(const BufferModel &m, int row) {
    QStringList hex;
    for (int c = BufferModel::kFirstByteColumn; c < BufferModel::kCharsColumn; ++c)
        hex << m.index(row, c).data().toString();
    return m.index(row, BufferModel::kAddressColumn).data().toString() + '|' +
           hex.join(' ').trimmed() + '|' +
           m.index(row, BufferModel::kCharsColumn).data().toString();
}

// Each byte's marks: "-" none, else C changed, D differs, U not in the file, S selected.
QString marksText(const BufferModel &m) {
    QStringList all;
    for (qsizetype i = 0; i < m.size(); ++i) {
        const int marks = m.indexOf(i).data(BufferModel::kMarksRole).toInt();
        QString text;
        for (auto [mark, letter] : {std::pair{BufferModel::Changed, 'C'},
                                    {BufferModel::Differs, 'D'},
                                    {BufferModel::Uncovered, 'U'},
                                    {BufferModel::Selected, 'S'}})
            if (marks & mark)
                text += QLatin1Char(letter);
        all << (text.isEmpty() ? u"-"_s : text);
    }
    return all.join(' ');
}

void goToAddress(BufferWindow *w, const char *address) {
    QTest::keyClick(w->view(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), address);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

} // namespace

class TestBufferWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void rows_data() {
        QTest::addColumn<quint32>("base");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII and the rest") << 0u << "41 7E 20 00 7F 1F 80 FF 30"_ba << 0
                                            << u"00000|41 7E 20 00 7F 1F 80 FF 30|A~ .....0"_s;
        QTest::newRow("half-width kana")
            << 0x120u << "A0 A1 B1 DF E0 81 40"_ba << 0 << u"00120|A0 A1 B1 DF E0 81 40|.｡ｱﾟ..@"_s;
        QTest::newRow("past FFFFF, last row short")
            << 0xFFFF8u << "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 61 62"_ba << 1
            << u"100008|61 62|ab"_s;
    }

    void rows() {
        QFETCH(quint32, base);
        QFETCH(QByteArray, bytes);
        QFETCH(int, row);
        BufferModel m;
        m.setBytes(base, QByteArray::fromHex(bytes));
        QFETCH(QString, shown);
        QCOMPARE(rowText(m, row), shown);
        QCOMPARE(m.rowCount(), row + 1); // each row above is the last
    }

    // Bytes 100-107; the file holds 102-105 as read but 104; 101 and 103 are typed over.
    void marks() {
        BufferModel m;
        m.setBytes(0x100, "\x00\x01\x02\x03\x04\x05\x06\x07"_ba);
        MemoryImage file;
        file.write(0x102, "\x02\x03\x44\x05"_ba);
        m.compareWith(file);
        QCOMPARE(marksText(m), u"US U - - D - U U"_s);
        m.writeBytes(1, "\x11\x02\x33"_ba); // 102 as it was
        m.select(2, 3);
        QCOMPARE(marksText(m), u"U CU S CDS D - U U"_s);
        QCOMPARE(m.comparison().differing, 2u);
        QVERIFY(m.indexOf(1).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!m.indexOf(2).data(Qt::FontRole).isValid());
        QVERIFY(m.indexOf(4).data(Qt::BackgroundRole).isValid());
        m.acceptChanges();
        QCOMPARE(marksText(m), u"U U S DS D - U U"_s);
    }

    void keys() {
        WindowFixture f;
        f->MenuBuffer->trigger();
        f->MenuBuffer->trigger();
        QCOMPARE(f->findChildren<BufferWindow *>().size(), 1);
        BufferWindow *w = f->bufferWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        // Read while the dump could be, the range up to the device's end; write once changed.
        auto *read = w->findChild<QPushButton *>(u"BufferRead"_s);
        auto *write = w->findChild<QPushButton *>(u"BufferWrite"_s);
        QVERIFY(!read->isEnabled() && !write->isEnabled());
        f.unit().setDevice(u"2F"_s, u"1FFFF"_s);
        QVERIFY(read->isEnabled() && !write->isEnabled());
        QCOMPARE(w->findChild<QLineEdit *>(u"BufferLast"_s)->text(), u"1FFFF"_s);
        f.unit().setDevice(u"2F"_s, u"3FFFF"_s, u"EPROM"_s, u"(Word ROM)"_s); // bytes shown
        QCOMPARE(w->findChild<QLineEdit *>(u"BufferLast"_s)->text(), u"7FFFF"_s);
        QByteArray bytes(64, '\0');
        bytes.replace(0x05, 2, "\xAB\xCD")
            .replace(0x10, 9, "123456789")
            .replace(0x30, 2, "\xAB\xCD");
        bytes[0x3E] = char(0xB1);
        w->model()->setBytes(0, bytes);
        BufferView *view = w->view();
        auto *find = w->findChild<QLineEdit *>(u"BufferFind"_s);
        auto at = [&] { return view->cursorOffset(); };
        auto status = [&] { return w->statusBar()->currentMessage(); };
        auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = {}) {
            QTest::keyClick(view, k, mods);
        };
        auto goTo = [w](const char *address) { goToAddress(w, address); };
        goTo("2A");
        QCOMPARE(at(), 0x2A);
        QCOMPARE(QApplication::focusWidget(), view);

        // Hex, then text, next and previous with wraps.
        key(Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(find, "AB CD");
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(at(), 0x30);
        key(Qt::Key_F3);
        QCOMPARE(at(), 0x05);
        QVERIFY2(status().startsWith(u"先頭に戻って"), qPrintable(status()));
        key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(at(), 0x30);
        QVERIFY2(status().startsWith(u"末尾に戻って"), qPrintable(status()));
        w->findChild<QComboBox *>()->setCurrentIndex(1);
        find->setText(u"ｱ"_s);
        key(Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(at(), 0x3E);

        // A selection from 10 over the row's end: copied as lines of 16; nine bytes summed.
        goTo("10");
        key(Qt::Key_Down, Qt::ShiftModifier);
        key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 u"31 32 33 34 35 36 37 38 39 00 00 00 00 00 00 00\n00\n"_s);
        goTo("10");
        for (int i = 0; i < 8; ++i)
            key(Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(w->findChildren<QLabel *>().constLast()->text(),
                 u"選択 00010～00018（9）  SUM8 DD SUM16 01DD SUM32 000001DD CRC-32 CBF43926"_s);
        const QString saved = f.unit().path(u"saved.bin"_s); // the selection alone
        QVERIFY(w->saveFile(saved, ImageFormat::Binary));
        QCOMPARE(readFile(saved), "123456789"_ba);

        // Compared with a file as long as 38 bytes that differs at 08 and 21-22.
        QByteArray file = bytes.left(0x38);
        file[0x08] = 1;
        file.replace(0x21, 2, "xy");
        const QString path = writeFile(f.unit().path(u"image.bin"_s), file);
        QVERIFY(!w->compareFile(f.unit().path(u"missing.bin"_s)));
        QVERIFY(!w->model()->compared() && !status().isEmpty());
        QVERIFY(w->compareFile(path));
        QCOMPARE(w->statusBar()->findChildren<QLabel *>().constFirst()->text(),
                 u"相違 3 バイト（ファイルにない 8）"_s);
        goTo("0");
        for (int expected : {0x08, 0x21, 0x21}) {
            key(Qt::Key_F7);
            QCOMPARE(at(), expected);
        }
        QCOMPARE(status(), u"これより後に相違はありません。"_s);
        QCOMPARE(w->model()->selectionLast(), 0x22);
        key(Qt::Key_F7, Qt::ShiftModifier);
        QCOMPARE(at(), 0x08);

        // Two digits make one byte and one undo step; the cursor moves on.
        QTest::keyClicks(view, "5a");
        QCOMPARE(w->model()->current().at(0x08), '\x5A');
        QCOMPARE(at(), 0x09);
        QVERIFY(write->isEnabled());
        QCOMPARE(w->model()->indexOf(0x08).data(BufferModel::kMarksRole).toInt() &
                     BufferModel::Changed,
                 BufferModel::Changed);
        key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->model()->current(), bytes);
        QVERIFY(!w->model()->hasChanges());
        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(w->model()->current().at(0x08), '\x5A');
        QCOMPARE(w->undoStack()->count(), 1);
        // Hex pasted at 3E: what passes the last byte is left out and said so; text is refused.
        QApplication::clipboard()->setText(u"c0 01\n02"_s);
        goTo("3E");
        key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->model()->current().right(3), "\x00\xC0\x01"_ba);
        QCOMPARE(status(), u"2 バイト貼り付けました（1 バイトは範囲の外です）。"_s);
        QApplication::clipboard()->setText(u"hello"_s);
        key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->undoStack()->count(), 2);
    }
    // On the emulated unit: a range read into the window, three bytes typed in two places,
    // written back and read back equal; the unit then holds the edit and nothing else changed.
    void writeBackOnTheUnit() {
        WindowFixture f;
        EmulatedPort *port = f.unit().useEmulated(UnitOptions{0.0}, true);
        f.unit().setDevice(u"04"_s, u"1FFFF"_s);
        std::vector<std::uint8_t> &ram = port->unit().buffer();
        for (quint32 a = 0; a < 0x400; ++a)
            ram[a] = std::uint8_t(a * 13 + 5);
        const QByteArray before(reinterpret_cast<const char *>(ram.data()), 0x400);
        f->MenuBuffer->trigger();
        BufferWindow *w = f->bufferWindow();
        w->findChild<QLineEdit *>(u"BufferLast"_s)->setText(u"3FF"_s);
        w->findChild<QPushButton *>(u"BufferRead"_s)->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->model()->current(), before, 5000);
        QCOMPARE(w->statusBar()->currentMessage(),
                 u"読み出しました: 00000～003FF（1024 バイト）"_s);
        for (const auto &[address, digits] : {std::pair{"10", "0011"}, {"200", "22"}}) {
            goToAddress(w, address);
            QTest::keyClicks(w->view(), digits);
        }
        QByteArray edited = before;
        edited.replace(0x10, 2, "\x00\x11"_ba).replace(0x200, 1, "\x22"_ba);
        QCOMPARE(w->model()->current(), edited);
        w->findChild<QPushButton *>(u"BufferWrite"_s)->click();
        QTRY_COMPARE_WITH_TIMEOUT(w->statusBar()->currentMessage(),
                                  u"2 箇所を書き込み、読み返して一致しました。"_s, 5000);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(ram.data()), 0x400), edited);
        QVERIFY(!w->model()->hasChanges() && w->undoStack()->count() == 0);
    }
};

QTEST_MAIN(TestBufferWindow)
#include "tst_buffer_window.moc"
