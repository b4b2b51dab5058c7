// Fuzzes divideCommand, narrowText, reMakeCmd, the reply judge: a split model, idempotence.
#include "fuzzqt.h"
#include "protocol/commandtext.h"
#include "protocol/replyjudge.h"

#include <QString>
#include <QStringList>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

void checkDivide(const QString &input) {
    QString text = input;
    const CommandFields fields = divideCommand(text);
    const QString expectedText = input.endsWith(QLatin1String("\r\n")) ? input.chopped(2) : input;
    FUZZ_CHECK(text == expectedText, "divideCommand changed its text other than by a final CR LF");

    std::array<QString, 6> expected;
    const qsizetype colon = expectedText.indexOf(u':');
    if (colon >= 0)
        expected[0] = expectedText.left(colon);
    const qsizetype comma = expectedText.indexOf(u',');
    if (comma < 0) {
        expected[1] = expectedText.mid(colon + 1);
    } else {
        if (colon < comma)
            expected[1] = expectedText.mid(colon + 1, comma - colon - 1);
        const QStringList parts = expectedText.mid(comma + 1).split(u',');
        for (qsizetype i = 0; i < parts.size() && i < 4; ++i)
            expected[std::size_t(i) + 2] = parts[i];
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (fields.field[i] != expected[i]) {
            printText("text", input);
            printText("field", fields.field[i]);
            printText("expected", expected[i]);
            FUZZ_CHECK(fields.field[i] == expected[i],
                       "divideCommand field differs from the split");
        }
    }
}

// Characters narrowText turns into half-width ones: full-width ASCII, the ideographic space, the
// katakana that have half-width forms (all of ァ..ヴ but ヮ, ヰ, ヱ) and the Japanese punctuation.
bool mustNarrow(char16_t u) {
    if (u >= 0xFF01 && u <= 0xFF5E)
        return true;
    if (u >= 0x30A1 && u <= 0x30F4)
        return u != 0x30EE && u != 0x30F0 && u != 0x30F1;
    return u == 0x3000 || u == 0x3002 || u == 0x300C || u == 0x300D || u == 0x3001 || u == 0x30FB ||
           u == 0x30FC || u == 0x309B || u == 0x309C;
}

void checkNarrow(const QString &input) {
    const QString narrow = narrowText(input);
    FUZZ_CHECK(narrow.size() >= input.size(), "narrowText lost characters");
    for (const QChar c : narrow) {
        if (mustNarrow(c.unicode())) {
            printText("text", input);
            printText("narrowed", narrow);
            FUZZ_CHECK(!mustNarrow(c.unicode()), "narrowText left a full-width character");
        }
    }
    FUZZ_CHECK(narrowText(narrow) == narrow, "narrowText is not idempotent");
}

void checkReMake(const QString &input) {
    QString text = input;
    const QString result = reMakeCmd(text);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || (u >= u'a' && u <= u'z') || mustNarrow(u)) {
            printText("line", input);
            printText("left in the line", text);
            FUZZ_CHECK(false, "reMakeCmd left a blank, a lower-case or a full-width character");
        }
    }
    // The result is the text up to its comment.
    FUZZ_CHECK(text.startsWith(result), "reMakeCmd result is not the start of the cleaned line");
    FUZZ_CHECK(text.size() == result.size() || text[result.size()] == u'\'',
               "reMakeCmd cut the line elsewhere than at its first apostrophe");
    FUZZ_CHECK(!result.contains(u'\''), "reMakeCmd result holds an apostrophe");

    QString again = result;
    const QString result2 = reMakeCmd(again);
    if (result2 != result || again != result) {
        printText("line", input);
        printText("first", result);
        printText("second", result2);
        FUZZ_CHECK(false, "reMakeCmd of its own result changes it");
    }
    QString cleanedAgain = text;
    (void)reMakeCmd(cleanedAgain);
    FUZZ_CHECK(cleanedAgain == text, "reMakeCmd changes the line it already cleaned");
}

// The reply time-outs in milliseconds.
std::optional<int> expectedTimeout(const QString &mode) {
    if (mode == QLatin1String("BD"))
        return std::nullopt;
    if (mode == QLatin1String("Load"))
        return 3000;
    if (mode == QLatin1String("CL"))
        return 5000;
    for (const char *word : {"CP", "RD", "BL", "ESC"}) {
        if (mode == QLatin1String(word))
            return 30000;
    }
    if (mode == QLatin1String("WT") || mode == QLatin1String("ER"))
        return 45000;
    if (mode == QLatin1String("PG"))
        return 90000;
    return 500;
}

void checkJudge(const QString &input) {
    // A reply split as the checker splits it: the code before ":", a word after it.
    QString reply = input;
    const CommandFields fields = divideCommand(reply);
    const QString code = fields.field[0].isEmpty() ? reply.left(2) : fields.field[0];
    const QString mode = fields.field[1];

    FUZZ_CHECK(replyTimeoutMs(mode) == expectedTimeout(mode), "wrong reply time-out");

    static const QStringList fixedCodes{
        QStringLiteral("01"), QStringLiteral("13"), QStringLiteral("14"), QStringLiteral("15"),
        QStringLiteral("16"), QStringLiteral("20"), QStringLiteral("21"), QStringLiteral("22"),
        QStringLiteral("30"), QStringLiteral("32"), QStringLiteral("33"), QStringLiteral("34"),
        QStringLiteral("98"), QStringLiteral("99")};
    const std::optional<QString> message = replyCodeMessage(code, mode);
    FUZZ_CHECK(message.has_value() == fixedCodes.contains(code),
               "a message for a code without one, or none for a code with one");
    if (message) {
        FUZZ_CHECK(!message->isEmpty(), "empty message");
        // Only "98" words its message by the operation: a load's failure may be the file's.
        const bool byMode = code == QLatin1String("98");
        FUZZ_CHECK((replyCodeMessage(code, QStringLiteral("Load")) == message) ==
                       (!byMode || mode == QLatin1String("Load")),
                   "message depends on the operation wrongly");
    }
    const QString unknown = unknownCodeMessage(code);
    FUZZ_CHECK(unknown.endsWith(code) && unknown.size() > code.size(),
               "the unknown-code line does not end with the code");

    // The whole judgement of the reply, for every word and panel: one line at least (but for
    // the words whose success logs nothing), the same outcome twice, a refused or missing device
    // always leaves the panel's fields blanked.
    for (const char *word : {"ON", "US0", "US1", "US2", "US2CT", "TS", "WT", "BL", "Load", "BD"}) {
        PanelFacts facts;
        facts.deviceCode = reply.left(2);
        facts.deviceCodeRed = input.size() % 2 == 1;
        facts.width = input.size() % 3 == 0 ? QStringLiteral("(Word ROM)") : QString();
        const ReplyOutcome first = judgeReply(code, QLatin1String(word), input, facts);
        const ReplyOutcome second = judgeReply(code, QLatin1String(word), input, facts);
        FUZZ_CHECK(first.log == second.log && first.reply == second.reply,
                   "the same reply judged twice differently");
        const QString finalCode = first.panel.deviceCode.value_or(facts.deviceCode);
        const bool red = first.panel.deviceCodeRed.value_or(facts.deviceCodeRed);
        if (finalCode == QLatin1String("--") || red)
            FUZZ_CHECK(first.panel.endAddress == QStringLiteral("-----"),
                       "an unusable device left its end address shown");
        if (code != QLatin1String("00"))
            FUZZ_CHECK(!first.log.isEmpty(), "a failing code logged nothing");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text = textFromBytes(data, size);
    checkDivide(text);
    checkNarrow(text);
    checkReMake(text);
    checkJudge(text);
    return 0;
}
