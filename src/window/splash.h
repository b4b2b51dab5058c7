#pragma once
// frmSplash: the version window, modeless, closed by any character key or a click on its frame.

#include <QDialog>

class QGroupBox;
class QLabel;

namespace corvane {

// "Ver major.minor.revision" for the program's version numbers.
[[nodiscard]] QString versionText(int major, int minor, int revision);
// "設定ファイル: PATH", and the file read until the first save when that is another one.
[[nodiscard]] QString settingsFilesText(const QString &read, const QString &write);

class FrmSplash : public QDialog {
    Q_OBJECT
public:
    // `settings`: the settings file in use, as settingsFilesText() tells it.
    explicit FrmSplash(const QString &settings, QWidget *parent = nullptr);

    QGroupBox *Frame1;
    QLabel *imgLogo, *lblVersion, *lblProductName, *lblDistribution, *lblRights, *Label1;
    QLabel *lblSettings;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace corvane
