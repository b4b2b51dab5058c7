// CeckAnsRX: waits for the unit's reply line, judges its code, logs the outcome in the program's
// wording and decodes the unit's device and buffer information into the device panel.

#include "app/form1.h"
#include "protocol/cp932.h"
#include "protocol/replyjudge.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QRadioButton>

namespace corvane {

namespace {

constexpr int kWaitMomentMs = 1000;

} // namespace

void Form1::refuseParameter() {
    AddList1(QStringLiteral("！ パラメータに、誤りがあります。"));
    m_commandRefused = true;
}

bool Form1::answeredOk() const {
    return !m_parameterRefused && AnsRxCode == QLatin1String("00");
}

QCoro::Task<> Form1::CeckAnsRX(QString MODE) {
    if (m_parameterRefused) {
        // Nothing was sent: there is no reply to judge, and AnsRxCode stays the last reply's.
        refuseParameter();
        co_return;
    }
    if (const std::optional<int> timeoutMs = replyTimeoutMs(MODE)) {
        AddData.clear();
        if (!MSComm1->isOpen()) {
            // A port that is gone (or never opened) answers nothing: the link is lost.
            m_sendRefused = false;
            AnsRxCode = QStringLiteral("98");
        } else if (m_sendRefused) {
            // The command never left: nothing to wait for.
            m_sendRefused = false;
            AnsRxCode = QStringLiteral("99");
        } else {
            AddList1(QString());
            const QPersistentModelIndex placeholder(List1->model()->index(List1->count() - 1, 0));
            ++m_replyWaits;
            QByteArray reply;
            bool complete = false;
            QElapsedTimer clock;
            clock.start();
            co_await nextPass();
            for (;;) {
                while (!complete && reply.size() < kMaxReplyBytes && MSComm1->inBufferCount() > 0) {
                    const int byte = MSComm1->readByte();
                    if (byte < 0)
                        break;
                    reply.append(char(byte));
                    clock.restart();
                    complete = reply.endsWith("\r\n");
                }
                // A reply that never ends is given up at the cap like one that never came.
                if (complete || reply.size() >= kMaxReplyBytes)
                    break;
                const qint64 elapsed = clock.elapsed();
                // A port that went away answers nothing more: the link is lost now.
                if (elapsed > *timeoutMs || !MSComm1->isOpen())
                    break;
                const bool waitLineEmpty =
                    placeholder.isValid() && List1->item(placeholder.row())->text().isEmpty();
                if (elapsed > kWaitMomentMs && waitLineEmpty)
                    List1->item(placeholder.row())->setText(QStringLiteral(" - Wait a moment "));
                qint64 wake = *timeoutMs + 1 - elapsed;
                if (waitLineEmpty && elapsed <= kWaitMomentMs)
                    wake = std::min<qint64>(wake, kWaitMomentMs + 1 - elapsed);
                co_await waitLine(int(std::max<qint64>(wake, 1)));
            }
            --m_replyWaits;
            AddData = fromCp932(reply);
            if (complete) {
                if (placeholder.isValid())
                    delete List1->takeItem(placeholder.row());
                AnsRxCode = AddData.left(2);
            } else {
                AnsRxCode = QStringLiteral("98");
            }
        }
    }

    // Judging.
    if (AnsRxCode == QLatin1String("10")) {
        AddList1(QStringLiteral("！ ブランクエラー"));
        AddList1(QStringLiteral("-デバイスアドレス：") + AddData.mid(3, 5));
        AddList1(QStringLiteral("-デバイスデーター：") + AddData.mid(9, 2));
        AddList1(QStringLiteral("NG"));
    } else if (AnsRxCode == QLatin1String("11") || AnsRxCode == QLatin1String("12")) {
        AddList1(AnsRxCode == QLatin1String("11") ? QStringLiteral("！ ライトエラー")
                                                  : QStringLiteral("！ べリファイエラー"));
        DiviCCommand(AddData);
        AddList1(QStringLiteral("- Address   : ") + Rcmd1);
        AddList1(QStringLiteral("- BufferData: ") + Rcmd2);
        AddList1(QStringLiteral("- DeviceData: ") + Rcmd3);
        AddList1(QStringLiteral("NG"));
    } else if (AnsRxCode == QLatin1String("00")) {
        if (MODE == QLatin1String("WT") || MODE == QLatin1String("RD") ||
            MODE == QLatin1String("CP") || MODE == QLatin1String("PG")) {
            QString body = AddData;
            if (body.endsWith(QLatin1String("\r\n")))
                body.chop(2);
            const QString sum = body.mid(3);
            AddList1(QStringLiteral("OK: SUM = ") + sum + QStringLiteral("H"));
        } else if (MODE == QLatin1String("BL") || MODE == QLatin1String("ER")) {
            AddList1(QStringLiteral("OK"));
        } else if (MODE == QLatin1String("US0")) {
            if (AddData.mid(3, 1) == QLatin1String("-")) {
                AddList1(QStringLiteral("！ 装置内にデバイス・タイプが設定されてません。"));
                LbDevSetCode->setText(QStringLiteral("--"));
                PbUnEn();
                PbBuff->setEnabled(true);
                PbDevice->setEnabled(true);
            } else {
                DiviCCommand(AddData);
                AddList1(QStringLiteral("装置内デバイス・コードは") + Rcmd1 +
                         QStringLiteral("です。"));
                LbDevSetCode->setText(Rcmd1);
                TexDVS->setText(Rcmd1);
                LbDevStr1->setText(Rcmd2);
                LbDevStr2->setText(Rcmd3);
                if (Rcmd4 == QLatin1String("00"))
                    LbDevRom1->setText(QStringLiteral("EPROM"));
                else if (Rcmd4 == QLatin1String("10"))
                    LbDevRom1->setText(QStringLiteral("EEPROM"));
                else if (Rcmd4 == QLatin1String("20"))
                    LbDevRom1->setText(QStringLiteral("FLASH MEMORY"));
                if (Rcmd5 == QLatin1String("0")) {
                    LbDevRom2->setText(QStringLiteral("(Byte ROM)"));
                } else if (Rcmd5 == QLatin1String("1")) {
                    LbDevRom2->setText(QStringLiteral("(Word ROM)"));
                    Label18->setEnabled(true);
                    OpBuffTypeL->setEnabled(true);
                    OpBuffTypeH->setEnabled(true);
                }
            }
        } else if (MODE == QLatin1String("US1")) {
            DiviCCommand(AddData);
            LbDevEAddr->setText(AddData.mid(3, 5));
        } else if (MODE == QLatin1String("US2") || MODE == QLatin1String("US2CT") ||
                   MODE == QLatin1String("US2CB")) {
            DiviCCommand(AddData);
            StBuffAdr->setText(Rcmd1);
            if (MODE == QLatin1String("US2") || MODE == QLatin1String("US2CB"))
                AddList1(QStringLiteral("バッファRAM先頭アドレスは、") + Rcmd1 +
                         QStringLiteral("H"));
            bool isNumber = false;
            const double type = Rcmd2.trimmed().toDouble(&isNumber);
            if (isNumber && type == 0)
                setOptionValue(OpBuffTypeL, true);
            else if (isNumber && type == 1)
                setOptionValue(OpBuffTypeH, true);
            if (LbDevRom2->text() == QLatin1String("(Word ROM)") && MODE == QLatin1String("US2")) {
                AddList1(OpBuffTypeL->isChecked() ? QStringLiteral("バッファタイプは、Low")
                                                  : QStringLiteral("バッファタイプは、Hi"));
            }
        } else if (MODE == QLatin1String("TS")) {
            setTextColor(LbDevSetCode, QColor(0, 0, 0));
        }
    } else if (const std::optional<QString> message = replyCodeMessage(AnsRxCode, MODE)) {
        AddList1(*message);
        if (AnsRxCode == QLatin1String("21")) {
            PbUnEn();
            setTextColor(LbDevSetCode, QColor(255, 0, 0));
            PbDevice->setEnabled(true);
            PbBuff->setEnabled(true);
        } else if (AnsRxCode == QLatin1String("34")) {
            EscFlag = false;
        } else if (AnsRxCode == QLatin1String("98")) {
            PbUnEn();
            PbExit->setEnabled(true);
            PbON->setEnabled(true);
        }
    } else {
        AddList1(unknownCodeMessage(AnsRxCode));
    }

    // Device panel tidy-up.
    if (LbDevSetCode->text() == QLatin1String("--") ||
        textColor(LbDevSetCode) == QColor(255, 0, 0)) {
        LbDevEAddr->setText(QStringLiteral("-----"));
        for (QLabel *l : {LbDevStr1, LbDevStr2, LbDevRom1, LbDevRom2})
            l->setText(QString());
        TexDVS->setText(LbDevSetCode->text());
    }
    if (LbDevRom2->text() != QLatin1String("(Word ROM)")) {
        Label18->setEnabled(false);
        OpBuffTypeL->setEnabled(false);
        OpBuffTypeH->setEnabled(false);
    }
}

} // namespace corvane
