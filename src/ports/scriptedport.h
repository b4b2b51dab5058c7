#pragma once
// A scripted peer for tests: records every byte the program writes, answers expected command
// lines with scripted bytes after scripted delays, and can inject unasked bytes, drive CTS,
// refuse to open or refuse writes.

#include "ports/serialport.h"

#include <QList>
#include <QPair>

namespace corvane {

class ScriptedPort : public SerialPort {
    Q_OBJECT
public:
    // One piece of an answer: sent `delayMs` after the previous piece (or after the command line).
    struct Piece {
        int delayMs = 0;
        QByteArray bytes;
    };

    explicit ScriptedPort(QObject *parent = nullptr);
    ~ScriptedPort() override;

    // When the program writes `line` followed by CR LF, answer `reply` after `delayMs`.
    // Expectations are consumed once each; the first unconsumed one whose line matches exactly is
    // used.
    void expect(const QByteArray &line, const QByteArray &reply, int delayMs = 0);
    void expectPieces(const QByteArray &line, const QList<Piece> &pieces);
    // Answer every line that starts with `prefix` with `reply` (never consumed; expectations
    // first).
    void respond(const QByteArray &prefix, const QByteArray &reply, int delayMs = 0);
    // Bytes arriving unasked, `delayMs` from now.
    void inject(const QByteArray &bytes, int delayMs = 0);

    // Everything the program wrote, and the same split into lines at CR LF (without CR LF).
    [[nodiscard]] QByteArray written() const { return m_written; }
    [[nodiscard]] QList<QByteArray> writtenLines() const;
    void clearWritten() { m_written.clear(); }
    // How many times open() was called.
    [[nodiscard]] int openCount() const { return m_openCount; }

    void setCts(bool on);
    void setOpenFails(bool fails) { m_openFails = fails; }
    void setWriteRefused(bool refused) { m_writeRefused = refused; }

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override;
    [[nodiscard]] int outBufferCount() const override { return 0; }
    void discardOutput() override {}
    [[nodiscard]] ModemInputs modemInputs() const override { return {m_open && m_cts}; }

private:
    struct Rule {
        QByteArray line;
        QList<Piece> pieces;
        bool once = true;
        bool prefix = false;
    };
    void lineWritten(const QByteArray &line);
    void schedule(const QList<Piece> &pieces);

    QList<Rule> m_rules;
    QByteArray m_written;
    QByteArray m_pendingLine;
    int m_openCount = 0;
    bool m_open = false;
    bool m_openFails = false;
    bool m_writeRefused = false;
    bool m_cts = true;
};

} // namespace corvane
