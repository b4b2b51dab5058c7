// Fuzzes divideCommand, narrowText, reMakeCmd, the reply judge: a split model, idempotence.
#include "fuzz.h"
#include "text/commandtext.h"
#include "text/replyjudge.h"

using namespace corvane;

namespace {

// The fields as a plain split gives them: the code before the first ":", then the text between
// it and the first ",", then up to four fields between the later ones.
void checkDivide(const QString &input) {
    QString text = input;
    const CommandFields fields = divideCommand(text);
    const QString expectedText = input.endsWith(QLatin1String("\r\n")) ? input.chopped(2) : input;
    FUZZ_CHECK(text == expectedText, "divideCommand changed its text other than by a final CR LF");
    const qsizetype colon = expectedText.indexOf(u':'), comma = expectedText.indexOf(u',');
    QStringList expected{colon >= 0 ? expectedText.left(colon) : QString()};
    expected << (comma < 0       ? expectedText.mid(colon + 1)
                 : colon < comma ? expectedText.mid(colon + 1, comma - colon - 1)
                                 : QString());
    if (comma >= 0)
        expected << expectedText.mid(comma + 1).split(u',').mid(0, 4);
    for (std::size_t i = 0; i < fields.field.size(); ++i)
        FUZZ_CHECK(fields.field[i] == expected.value(qsizetype(i)), "a field differs from split");
}

// Full-width ASCII, the ideographic space, the katakana with half-width forms (ァ..ヴ but ヮ, ヰ,
// ヱ) and the Japanese punctuation.
bool mustNarrow(char16_t u) {
    if (u >= 0x30A1 && u <= 0x30F4)
        return u != 0x30EE && u != 0x30F0 && u != 0x30F1;
    return (u >= 0xFF01 && u <= 0xFF5E) || QStringView(u"\u3000\u3001\u3002\u300C\u300D\u30FB"
                                                       u"\u30FC\u309B\u309C")
                                               .contains(QChar(u));
}

void checkNarrow(const QString &input) {
    const QString narrow = narrowText(input);
    FUZZ_CHECK(narrow.size() >= input.size(), "narrowText lost characters");
    for (const QChar c : narrow)
        FUZZ_CHECK(!mustNarrow(c.unicode()), "narrowText left a full-width character");
    FUZZ_CHECK(narrowText(narrow) == narrow, "narrowText is not idempotent");
}

void checkReMake(const QString &input) {
    QString text = input;
    const QString result = reMakeCmd(text);
    for (const QChar c : text)
        FUZZ_CHECK(c != u' ' && !(c >= u'a' && c <= u'z') && !mustNarrow(c.unicode()),
                   "reMakeCmd left a blank, a lower-case or a full-width character");
    // The result is the cleaned text up to its first apostrophe.
    FUZZ_CHECK(text.startsWith(result) && !result.contains(u'\'') &&
                   (text.size() == result.size() || text[result.size()] == u'\''),
               "reMakeCmd cut the line elsewhere than at its first apostrophe");
    QString again = result, cleanedAgain = text;
    FUZZ_CHECK(reMakeCmd(again) == result && again == result, "reMakeCmd changes its result");
    (void)reMakeCmd(cleanedAgain);
    FUZZ_CHECK(cleanedAgain == text, "reMakeCmd changes the line it already cleaned");
}

void checkJudge(const QString &input) {
    // A reply split as the checker splits it: the code before ":", a word after it.
    QString reply = input;
    const CommandFields fields = divideCommand(reply);
    const QString code = fields.field[0].isEmpty() ? reply.left(2) : fields.field[0];
    const QString mode = fields.field[1];
    if (const std::optional<QString> message = replyCodeMessage(code, mode)) {
        // Only "98" words its message by the operation: a load's failure may be the file's.
        FUZZ_CHECK(!message->isEmpty() && (replyCodeMessage(code, QStringLiteral("Load")) ==
                                           message) == (code != "98" || mode == "Load"),
                   "an empty message, or one that depends on the operation wrongly");
    }
    FUZZ_CHECK(unknownCodeMessage(code).endsWith(code) && unknownCodeMessage(code) != code,
               "the unknown-code line does not end with the code");

    // The whole judgement for every word: the same outcome twice, a failing code logs a line, a
    // refused or missing device always leaves the panel's end address blanked.
    for (const char *word : {"ON", "US0", "US1", "US2", "US2CT", "TS", "WT", "BL", "Load", "BD"}) {
        PanelFacts facts;
        facts.deviceCode = reply.left(2);
        facts.deviceCodeRed = input.size() % 2 == 1;
        facts.width = input.size() % 3 == 0 ? QStringLiteral("(Word ROM)") : QString();
        const ReplyOutcome first = judgeReply(code, QLatin1String(word), input, facts);
        const ReplyOutcome second = judgeReply(code, QLatin1String(word), input, facts);
        FUZZ_CHECK(first.log == second.log && first.reply == second.reply,
                   "the same reply judged twice differently");
        if (first.panel.deviceCode.value_or(facts.deviceCode) == "--" ||
            first.panel.deviceCodeRed.value_or(facts.deviceCodeRed))
            FUZZ_CHECK(first.panel.endAddress == QStringLiteral("-----"),
                       "an unusable device left its end address shown");
        FUZZ_CHECK(code == "00" || !first.log.isEmpty(), "a failing code logged nothing");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text = corvane::fuzz::textFromBytes(data, size);
    checkDivide(text);
    checkNarrow(text);
    checkReMake(text);
    checkJudge(text);
    return 0;
}
