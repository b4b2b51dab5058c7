// How the dump reads its start text, without a window (addresses, modes and the dump table are
// checked through the window in tst_ops_device and tst_ops_buffer).

#include "ops/opstext.h"

#include <QTest>

using namespace corvane;

class TestOpsText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dumpStartValue_data();
    void dumpStartValue();
};

void TestOpsText::dumpStartValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<uint>("value");
    QTest::newRow("lower case") << "1a" << true << 0x1Au;
    QTest::newRow("stops at non-hex") << "12G4" << true << 0x12u;
    QTest::newRow("no digit") << "XYZ" << true << 0u;
    QTest::newRow("full-width digit is not hex") << "１" << true << 0u;
    QTest::newRow("six digits") << "FFFFFF" << true << 0xFFFFFFu;
    QTest::newRow("leading zeros") << "0000000000010" << true << 0x10u;
    QTest::newRow("seven digits") << "1000000" << false << 0u;
    QTest::newRow("huge") << "FFFFFFFFFFFFFFFFFFFF" << false << 0u;
}

void TestOpsText::dumpStartValue() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(uint, value);
    const std::optional<std::uint32_t> result = corvane::dumpStartValue(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, value);
}

QTEST_APPLESS_MAIN(TestOpsText)
#include "tst_ops_text.moc"
