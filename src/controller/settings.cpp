// Restoring, saving and showing the settings file.

#include "window/form1.h"
#include "text/settingsfile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSaveFile>

namespace corvane {

namespace {

// Reads the file as far as it goes: an empty list when it is missing or unreadable.
QStringList readSettingsFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A settings file is thirteen short lines; never read more than a little of whatever is there.
    return readSettingsLines(file.read(64 * 1024));
}

} // namespace

QString Form1::settingsPath() const {
    if (!m_options.settingsPath.isEmpty())
        return m_options.settingsPath;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Corvane.INI"));
}

void Form1::restoreSettings() {
    const QStringList lines = readSettingsFile(settingsPath());
    auto setCombo = [](QComboBox *box, const QString &text) {
        box->setCurrentIndex(box->findText(text));
        box->setEditText(text);
    };
    QRadioButton *const flags[] = {nullptr, nullptr,     nullptr,     nullptr,
                                   Option1, Option2,     Option3,     nullptr,
                                   nullptr, OpFileModeH, OpFileModeS, OpFileModeB};
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        switch (i + 1) {
        case 1:
            setCombo(Combo1, line);
            break;
        case 2:
            setCombo(Combo2, line);
            break;
        case 3:
            TexResGoFile1->setText(line);
            break;
        case 4:
            TexResGoFile2->setText(line);
            break;
        case 8:
            TexLoadDir->setText(line);
            break;
        case 9:
            TexSaveDir->setText(line);
            break;
        case 13:
            CommonDialog1.InitDir = line;
            break;
        default: {
            const std::optional<bool> value = parseSettingsFlag(line);
            if (!value)
                return;
            setOptionValue(flags[i], *value);
        }
        }
    }
}

void Form1::PBsysinit_Click() {
    AddList1(QString());
    SettingsValues v;
    v.port = Rs232Port();
    v.speed = Rs232Pbs();
    v.responseFile1 = TexResGoFile1->text();
    v.responseFile2 = TexResGoFile2->text();
    v.noAutoRun = Option1->isChecked();
    v.autoRunFile1 = Option2->isChecked();
    v.autoRunFile2 = Option3->isChecked();
    v.loadPath = TexLoadDir->text();
    v.savePath = TexSaveDir->text();
    v.intelHex = OpFileModeH->isChecked();
    v.motorolaS = OpFileModeS->isChecked();
    v.binary = OpFileModeB->isChecked();
    v.initDir = CommonDialog1.InitDir;

    // Written aside and renamed into place, so a failed save never leaves a half-written file.
    QSaveFile file(settingsPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(formatSettings(v)) < 0 || !file.commit()) {
        AddList1(QStringLiteral("！設定環境を保存できませんでした。") + file.fileName());
        return;
    }
    AddList1(QStringLiteral("設定環境を保存しました。"));
}

void Form1::MenuReReadUtil_Click() {
    PbUnEn();
    AddList1(QString());
    AddList1(QStringLiteral("環境設定ファイルの内容"));
    const QStringList lines = readSettingsFile(settingsPath());
    bool complete = lines.size() == kSettingsLines;
    for (int i = 0; i < lines.size(); ++i) {
        const SettingsDisplay shown = settingsDisplayLine(i + 1, lines[i]);
        if (!shown.ok) {
            complete = false;
            break;
        }
        if (shown.line)
            AddList1(*shown.line);
    }
    if (complete)
        AddList1(QStringLiteral(" ok"));
    PbReEn();
}

} // namespace corvane
