// Splitting command and reply texts into their fields, and normalising typed commands.

#include "protocol/commandtext.h"
#include "protocol/cp932.h"

#include <QTest>

using namespace corvane;

class TestCommandText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void divide_data();
    void divide();
    void divideDropsCrLfFromCallersText();
    void reMake_data();
    void reMake();
    void reMakeLeavesCleanedTextWithComment();
    void cp932_data();
    void cp932();
    void cp932Refused_data();
    void cp932Refused();
};

void TestCommandText::divide_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("drive and path")
        << "C:\\DATA\\A.HEX,100" << QStringList{"C", "\\DATA\\A.HEX", "100", "", "", ""};
    QTest::newRow("device range") << "0,1FFFF,A" << QStringList{"", "0", "1FFFF", "A", "", ""};
    QTest::newRow("US0 reply") << "00:2F,X,Y,10,1\r\n"
                               << QStringList{"00", "2F", "X", "Y", "10", "1"};
    QTest::newRow("sixth field dropped")
        << "A,B,C,D,E,F,G" << QStringList{"", "A", "B", "C", "D", "E"};
    QTest::newRow("empty middle field") << "A,,C" << QStringList{"", "A", "", "C", "", ""};
    QTest::newRow("empty text") << "" << QStringList{"", "", "", "", "", ""};
    QTest::newRow("no comma") << "00:1FFFF" << QStringList{"00", "1FFFF", "", "", "", ""};
    QTest::newRow("spaces kept") << " a , b" << QStringList{"", " a ", " b", "", "", ""};
    QTest::newRow("colon after comma") << "A,B:C" << QStringList{"A,B", "", "B:C", "", "", ""};
    QTest::newRow("only CR LF") << "\r\n" << QStringList{"", "", "", "", "", ""};
}

void TestCommandText::divide() {
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    const CommandFields out = divideCommand(text);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(out.field[i], fields[i]);
}

void TestCommandText::divideDropsCrLfFromCallersText() {
    QString reply = QStringLiteral("00:2F,X,Y,10,1\r\n");
    (void)divideCommand(reply);
    QCOMPARE(reply, QStringLiteral("00:2F,X,Y,10,1"));
    QString plain = QStringLiteral("A\rB");
    (void)divideCommand(plain);
    QCOMPARE(plain, QStringLiteral("A\rB"));
}

void TestCommandText::reMake_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::newRow("comment and spaces") << "rd 0, 1ffff ,a ' read all"
                                        << "RD0,1FFFF,A";
    QTest::newRow("comment only") << "' nothing but a comment"
                                  << "";
    QTest::newRow("full-width letters and digits") << "ＲＤ０"
                                                   << "RD0";
    QTest::newRow("full-width lower case") << "ｂｌ"
                                           << "BL";
    QTest::newRow("ideographic space removed") << "Ｂ　Ｌ"
                                               << "BL";
    QTest::newRow("full-width symbols") << "Ｐ１００，７ＦＦ，Ｅ"
                                        << "P100,7FF,E";
    QTest::newRow("full-width apostrophe starts a comment") << "B0’x"
                                                            << "B0";
    QTest::newRow("katakana narrowed") << "テスト"
                                       << "ﾃｽﾄ";
    QTest::newRow("voiced katakana narrowed") << "ガパ"
                                              << "ｶﾞﾊﾟ";
    QTest::newRow("empty") << ""
                           << "";
}

void TestCommandText::reMake() {
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QCOMPARE(reMakeCmd(typed), result);
}

void TestCommandText::reMakeLeavesCleanedTextWithComment() {
    QString typed = QStringLiteral("rd 0, 1ffff ,a ' read all");
    (void)reMakeCmd(typed);
    QCOMPARE(typed, QStringLiteral("RD0,1FFFF,A'READALL"));
}

// Expected texts from the CP932 table (double-byte characters as code points, so that none is
// mistaken for a look-alike).
void TestCommandText::cp932_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII and control bytes") << QByteArray("A\0\t\n\r\x1a\x1b\x1c\x7f\\~B", 12)
                                             << QStringLiteral("A\0\t\n\r\x1a\x1b\x1c\x7f\\~B");
    QTest::newRow("double byte") << QByteArray("\x83\x43\x83\x93") << QStringLiteral("イン");
    QTest::newRow("double byte, CP932 forms")
        << QByteArray("\x81\x40\x82\xa0\x88\x9f\x81\x60\x81\x5c\x87\x40\xfa\x40\xf0\x40")
        << QStringLiteral("\u3000\u3042\u4E9C\uFF5E\u2015\u2460\u2170\uE000");
    QTest::newRow("trail byte 5C")
        << QByteArray("\x95\x5c\x83\x5c") << QStringLiteral("\u8868\u30BD");
    QTest::newRow("half-width katakana")
        << QByteArray("\xa1\xba\xcf\xdd\xc4\xde\xdf") << QStringLiteral("｡ｺﾏﾝﾄﾞﾟ");
    QTest::newRow("lone lead byte at the end") << QByteArray("A\x82") << QStringLiteral("A\uFFFD");
    QTest::newRow("bytes that start no character")
        << QByteArray("\x80\xa0\xfd\xfeOK\xff")
        << QStringLiteral("\uFFFD\uFFFD\uFFFD\uFFFDOK\uFFFD");
    QTest::newRow("lead byte before ASCII")
        << QByteArray("\x82\x0d\x0a\x81\x7f") << QStringLiteral("\uFFFD\r\n\uFFFD\x7f");
    QTest::newRow("unassigned pair: its trail read on its own")
        << QByteArray("\x82\xa0\x85\x40\x82\xa2") << QStringLiteral("\u3042\uFFFD@\u3044");
    QTest::newRow("unassigned pair whose trail is a lead byte")
        << QByteArray("\x85\x85\x40\xeb\x82\xa0") << QStringLiteral("\uFFFD\uFFFD@\uFFFD\u3042");
}

void TestCommandText::cp932() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(fromCp932(bytes), text);
    // The same bytes give the same text after a bad pair has been decoded elsewhere.
    QCOMPARE(fromCp932("\x85\x40"), QStringLiteral("\uFFFD@"));
    QCOMPARE(fromCp932(bytes), text);
    if (!text.contains(QChar::ReplacementCharacter)) {
        QCOMPARE(toCp932(text), bytes);
        QCOMPARE(encodeCp932(text).value_or("<refused>"), bytes);
    }
}

void TestCommandText::cp932Refused_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("é") << QStringLiteral("aあé");
    QTest::newRow("emoji") << QStringLiteral("\U0001F600x");
    QTest::newRow("U+FFFD") << QStringLiteral("B\uFFFD");
    QTest::newRow("JIS wave dash") << QStringLiteral("\u301C");
}

void TestCommandText::cp932Refused() {
    QFETCH(QString, text);
    QVERIFY(!encodeCp932(text));
    // A refusal leaves nothing behind for the next text.
    QCOMPARE(encodeCp932(QStringLiteral("あ")).value_or("<refused>"), QByteArray("\x82\xa0"));
}

QTEST_APPLESS_MAIN(TestCommandText)
#include "tst_commandtext.moc"
