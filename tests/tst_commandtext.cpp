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

void TestCommandText::cp932_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII with SUB") << QByteArray("A\x1a"
                                                  "B")
                                    << QStringLiteral("A\x1a"
                                                      "B");
    QTest::newRow("double byte") << QByteArray("\x83\x43\x83\x93") << QStringLiteral("イン");
    QTest::newRow("half-width katakana")
        << QByteArray("\xba\xcf\xdd\xc4\xde") << QStringLiteral("ｺﾏﾝﾄﾞ");
    QTest::newRow("lone lead byte at the end") << QByteArray("A\x82") << QStringLiteral("A\uFFFD");
    QTest::newRow("invalid byte keeps neighbours")
        << QByteArray("\xffOK\x83\x43") << QStringLiteral("\uFFFDOKイ");
    QTest::newRow("lead byte before ASCII")
        << QByteArray("\x82\x0d\x0a") << QStringLiteral("\uFFFD\r\n");
    QTest::newRow("NUL") << QByteArray("\0x", 2) << QString(QChar(0)) + QLatin1Char('x');
}

void TestCommandText::cp932() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(fromCp932(bytes), text);
    if (!text.contains(QChar::ReplacementCharacter))
        QCOMPARE(toCp932(text), bytes);
}

QTEST_APPLESS_MAIN(TestCommandText)
#include "tst_commandtext.moc"
