// Restoring, saving and showing the settings file.

#include "controller/unitcontroller.h"
#include "text/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// Sets one option of a group as an option button does: set, it clears the others of its group;
// cleared, it may leave the group with none.
void setOption(bool SettingsValues::*option, bool value, SettingsValues &v) {
    const std::array<bool SettingsValues::*, 3> groups[] = {
        {&SettingsValues::noAutoRun, &SettingsValues::autoRunFile1, &SettingsValues::autoRunFile2},
        {&SettingsValues::intelHex, &SettingsValues::motorolaS, &SettingsValues::binary}};
    if (value) {
        for (const auto &group : groups) {
            if (std::ranges::find(group, option) != group.end()) {
                for (bool SettingsValues::*each : group)
                    v.*each = false;
            }
        }
    }
    v.*option = value;
}

} // namespace

SettingsFiles UnitController::settingsFiles() const {
    if (!m_options.settingsPath.isEmpty())
        return {m_options.settingsPath, m_options.settingsPath};
    return findSettingsFiles(QCoreApplication::applicationDirPath());
}

void UnitController::restoreSettings() {
    const QStringList lines = readSettingsFile(settingsFiles().read);
    Choices c = m_choices;
    SettingsValues &v = c.settings;
    bool SettingsValues::*const flags[] = {nullptr,
                                           nullptr,
                                           nullptr,
                                           nullptr,
                                           &SettingsValues::noAutoRun,
                                           &SettingsValues::autoRunFile1,
                                           &SettingsValues::autoRunFile2,
                                           nullptr,
                                           nullptr,
                                           &SettingsValues::intelHex,
                                           &SettingsValues::motorolaS,
                                           &SettingsValues::binary};
    QString SettingsValues::*const texts[] = {&SettingsValues::port,
                                              &SettingsValues::speed,
                                              &SettingsValues::responseFile1,
                                              &SettingsValues::responseFile2,
                                              nullptr,
                                              nullptr,
                                              nullptr,
                                              &SettingsValues::loadPath,
                                              &SettingsValues::savePath};
    for (int i = 0; i < lines.size(); ++i) {
        if (i == 12) {
            CommonDialog1.InitDir = lines[i];
        } else if (i < 9 && texts[i]) {
            v.*texts[i] = lines[i];
        } else {
            const std::optional<bool> value = parseSettingsFlag(lines[i]);
            if (!value)
                break;
            setOption(flags[i], *value, v);
        }
    }
    setChoices(c);
}

void UnitController::PBsysinit_Click() {
    AddList1(QString());
    SettingsValues v = m_choices.settings;
    v.initDir = CommonDialog1.InitDir;
    // Written aside and renamed into place, so a failed save never leaves a half-written file.
    const QString path = settingsFiles().write;
    QDir().mkpath(QFileInfo(path).absolutePath()); // the user's folder may not be there yet
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(formatSettings(v)) < 0 || !file.commit()) {
        AddList1(QStringLiteral("！設定環境を保存できませんでした。") + file.fileName());
        return;
    }
    AddList1(QStringLiteral("設定環境を保存しました。"));
}

void UnitController::MenuReReadUtil_Click() {
    PbUnEn();
    AddList1(QString());
    AddList1(QStringLiteral("環境設定ファイルの内容"));
    const QStringList lines = readSettingsFile(settingsFiles().read);
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
