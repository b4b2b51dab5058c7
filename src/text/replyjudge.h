#pragma once
// The fixed parts of judging a reply: how long each caller's word waits, and the one-line messages
// of the unit's codes.

#include "text/commandtext.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace corvane {

// Longest silence, in milliseconds, allowed while the reply to an operation named `mode` is
// awaited; nothing for "BD", whose caller receives the reply itself.
[[nodiscard]] std::optional<int> replyTimeoutMs(const QString &mode);

// The log line of a reply code whose judgement is a single fixed message ("13", "20", "98" ...);
// nothing for the codes with details or effects of their own ("00", "10", "11", "12") and for
// unknown codes.
[[nodiscard]] std::optional<QString> replyCodeMessage(const QString &code, const QString &mode);

// The line logged for a code the program does not know.
[[nodiscard]] QString unknownCodeMessage(const QString &code);

// What the device panel shows that a judgement depends on.
struct PanelFacts {
    QString deviceCode;          // the selected code ("--" when none)
    bool deviceCodeRed = false;  // the unit refused the code
    QString width;               // "(Byte ROM)", "(Word ROM)" or blank
    bool bufferTypeLow = false;  // the option Low is selected
    bool bufferTypeHigh = false; // the option Hi is selected
};

// The panel after a judgement: only what changes is set.
struct PanelChange {
    std::optional<QString> deviceCode, deviceEntry, text1, text2, kind, width, endAddress;
    std::optional<QString> bufferAddress;
    std::optional<bool> deviceCodeRed;
    std::optional<bool> bufferTypeLow, bufferTypeHigh;
    std::optional<bool> bufferTypeEnabled; // the type label and its two options
};

// What a reply does to the controls' busy state (before the caller re-enables them).
enum class BusyChange {
    None,
    DeviceSetUpOnly, // all disabled but the device and buffer set-up buttons
    LinkLost,        // all disabled but EXIT and reconnect
};

struct ReplyOutcome {
    QStringList log;
    PanelChange panel;
    BusyChange busy = BusyChange::None;
    bool clearCancel = false;
    // The reply split into fields (the reply then loses its final CR LF), when the word splits it.
    std::optional<CommandFields> fields;
    QString reply; // the reply text as the judgement leaves it
};

// Judges reply code `code` (with the reply text `reply`, CR LF included) to the word `mode`.
[[nodiscard]] ReplyOutcome judgeReply(const QString &code, const QString &mode, QString reply,
                                      const PanelFacts &facts);

} // namespace corvane
