// The device and buffer operations against the emulated unit: what the unit ends up holding and
// what the window shows.

#include "formfixture.h"
#include "linktesting.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// A window on an unpaced emulated unit with instant device work.
struct Setup {
    explicit Setup(bool paced = false) {
        port = fx.useEmulated(UnitOptions{0.0}, paced);
        fx->AnsRxCode = QStringLiteral("00");
        fx->PbReEn();
    }
    void select(const QString &code) {
        fx->TexDVS->setText(code);
        QVERIFY(runToEnd(fx->PbDevice_Click()));
        QCOMPARE(fx.log().last(), QStringLiteral("OK"));
    }
    // Runs the operation `start` begins; returns its log, or with `all` every line it appended
    // (the dump's table is longer than the log), without the input purge's temporary line.
    QStringList run(const std::function<QCoro::Task<>(Form1 &)> &start, bool all = false) {
        fx->List1->clear();
        fx.clearHistory();
        if (!runToEnd(start(fx.form()), 20000))
            return {QStringLiteral("did not end")};
        if (!all)
            return fx.log();
        QStringList lines = fx.history();
        lines.removeAll(QStringLiteral("  "));
        return lines;
    }
    Unit &unit() { return port->unit(); }
    FormFixture fx;
    EmulatedPort *port = nullptr;
};

QString hex(unsigned value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

} // namespace

class TestOpsEmulated : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void programVerifyBlankCheck();
    void bufferSettingsReachTheUnit();
    void dumpShowsTheBuffer();
    void cancelledDumpLeavesTheLineClean();
};

void TestOpsEmulated::programVerifyBlankCheck() {
    Setup s;
    s.select(QStringLiteral("51")); // byte-wide EEPROM, 00000-07FFF
    Form1 &f = s.fx.form();
    std::vector<std::uint8_t> &buffer = s.unit().buffer();
    unsigned sum = 0;
    for (unsigned a = 0; a <= 0x7FFF; ++a) {
        buffer[a] = std::uint8_t(a * 7 + 3);
        sum += buffer[a];
    }
    const QString okSum = QStringLiteral("OK: SUM = ") + hex(sum & 0xFFFF, 4) + QStringLiteral("H");

    QCOMPARE(s.run([](Form1 &w) { return w.PbER_Click(); }).last(), QStringLiteral("OK"));
    QCOMPARE(s.run([](Form1 &w) { return w.PbBL_Click(); }).last(), QStringLiteral("OK"));
    const QStringList program = s.run([](Form1 &w) { return w.PbPG_Click(); });
    QCOMPARE(program, (QStringList{"", "* Program device", "    start adress = 00000H",
                                   "    end adress   = 07FFFH", "    mode         = ALL", okSum}));
    QCOMPARE(s.unit().deviceMemory()[0x1234], buffer[0x1234]);
    QCOMPARE(s.run([](Form1 &w) { return w.PbCP_Click(); }).last(), okSum);

    buffer[0x10] ^= 0xFF;
    const QStringList verify = s.run([](Form1 &w) { return w.PbCP_Click(); });
    QCOMPARE(verify.mid(verify.size() - 5),
             (QStringList{"！ べリファイエラー", "- Address   : 00010",
                          "- BufferData: " + hex(buffer[0x10], 2),
                          "- DeviceData: " + hex(std::uint8_t(buffer[0x10] ^ 0xFF), 2), "NG"}));
    QCOMPARE(f.AnsRxCode, QStringLiteral("12"));

    const QStringList blank = s.run([](Form1 &w) { return w.PbBL_Click(); });
    QCOMPARE(blank.mid(blank.size() - 4, 2),
             (QStringList{"！ ブランクエラー", "-デバイスアドレス：00000"}));
    QVERIFY(f.PbPG->isEnabled());
}

void TestOpsEmulated::bufferSettingsReachTheUnit() {
    Setup s;
    s.select(QStringLiteral("60"));
    Form1 &f = s.fx.form();
    f.StBuffAdr->setText(QStringLiteral("100"));
    Form1::setOptionValue(f.OpBuffTypeH, true);
    const QStringList log = s.run([](Form1 &w) { return w.PbBuff_Click(); });
    QCOMPARE(s.unit().bufferStart(), 0x100u);
    QCOMPARE(s.unit().bufferType(), 1);
    QCOMPARE(log.last(), QStringLiteral("OK"));
    QVERIFY(log.contains(QStringLiteral("バッファタイプは、Hi")));

    QCOMPARE(s.run([](Form1 &w) { return w.TWsub(QStringLiteral("L")); }).last(),
             QStringLiteral("OK: Even = Low"));
    QCOMPARE(s.unit().bufferType(), 0);
    QVERIFY(f.OpBuffTypeL->isChecked());
}

void TestOpsEmulated::dumpShowsTheBuffer() {
    Setup s;
    s.select(QStringLiteral("51"));
    std::vector<std::uint8_t> &buffer = s.unit().buffer();
    for (unsigned a = 0x1000; a < 0x2000; ++a)
        buffer[a] = std::uint8_t((a >> 4) ^ a);

    // 105h to 1FFAh would be long; take a range with a ragged start and end.
    Form1 &f = s.fx.form();
    f.DUMPS->setText(QStringLiteral("1005"));
    f.DUMPE->setText(QStringLiteral("1F3A"));
    const QStringList log = s.run([](Form1 &w) { return w.PbBD_Click(); }, true);

    QStringList expected{"", "* Dump buffer RAM",
                         "  ADD +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F"};
    for (unsigned line = 0x1000; line <= 0x1F3A; line += 16) {
        QString text = hex(line >> 4, 5);
        for (unsigned a = line; a < line + 16 && a <= 0x1F3A; ++a)
            text += a < 0x1005 ? QStringLiteral(" --") : QStringLiteral(" ") + hex(buffer[a], 2);
        expected << text;
    }
    expected << "OK";
    QCOMPARE(log, expected);
    QCOMPARE(f.AnsRxCode, QStringLiteral("00"));
}

void TestOpsEmulated::cancelledDumpLeavesTheLineClean() {
    Setup s(true); // at 38400 bit/s a 4 KiB dump takes about three seconds
    s.select(QStringLiteral("51"));
    Form1 &f = s.fx.form();
    f.List1->clear();
    s.fx.clearHistory();
    auto dump = f.BDsub(QStringLiteral("0,FFF"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(waitUntil([&] { return s.fx.history().size() >= 10; }, 5000));
    f.PbCansel->click();
    QVERIFY(runToEnd(std::move(dump)));
    QCOMPARE(s.fx.history().last(), QStringLiteral("キャンセルしました。"));
    QVERIFY(clock.elapsed() < 2500);

    // The unit has stopped: the next operation gets its own reply.
    QCOMPARE(s.run([](Form1 &w) { return w.PbCL_Click(); }),
             (QStringList{"", "* Buffer clear", "OK"}));
}

QTEST_MAIN(TestOpsEmulated)
#include "tst_ops_emulated.moc"
