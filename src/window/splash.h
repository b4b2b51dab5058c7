#pragma once
// frmSplash: the version window, modeless, closed by any character key or a click on its frame.

#include <QDialog>

class QGroupBox;
class QLabel;

namespace corvane {

// "Ver major.minor.revision" for the program's version numbers.
[[nodiscard]] QString versionText(int major, int minor, int revision);

class FrmSplash : public QDialog {
    Q_OBJECT
public:
    explicit FrmSplash(QWidget *parent = nullptr);

    QGroupBox *Frame1;
    QLabel *imgLogo, *lblVersion, *lblProductName, *lblDistribution, *lblRights, *Label1;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace corvane
