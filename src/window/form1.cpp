#include "window/form1.h"

#include "ports/portlist.h"
#include "window/bufferwindow.h"
#include "window/filedialog.h"
#include "window/splash.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <qdrawutil.h>

#include <initializer_list>
#include <type_traits>

namespace corvane {

namespace {

// Twips (1/1440 inch) to pixels at the screen's resolution.
int twips(int value, qreal dpi) {
    return qRound(value * dpi / 1440.0);
}

QFont logFont() {
    const QStringList families = QFontDatabase::families();
    QFont font;
    if (families.contains(QStringLiteral("ＭＳ ゴシック")))
        font = QFont(QStringLiteral("ＭＳ ゴシック"));
    else if (families.contains(QStringLiteral("IPAGothic")))
        font = QFont(QStringLiteral("IPAGothic"));
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(9);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QFont controlFont() {
    const QStringList families = QFontDatabase::families();
    QFont font;
    for (const QString &family : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                                  QStringLiteral("IPAGothic")}) {
        if (families.contains(family)) {
            font = QFont(family);
            break;
        }
    }
    font.setPointSize(9);
    return font;
}

// A frame drawn as the layout expects it: an etched border whose top line runs through the middle
// of the caption, and the caption on a gap in that line. Controls then start just below the
// caption instead of below a title strip of the style's own, which the layout has no room for.
class CaptionedFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QFontMetrics metrics = fontMetrics();
        const bool captioned = !title().isEmpty();
        const int borderTop = captioned ? metrics.height() / 2 : 0;
        qDrawShadeRect(&painter, rect().adjusted(0, borderTop, 0, 0), palette(), true, 1, 0);
        if (!captioned)
            return;
        const int pad = 2;
        const QRect caption(metrics.height() / 2, 0, metrics.horizontalAdvance(title()) + 2 * pad,
                            metrics.height());
        painter.fillRect(caption, palette().brush(backgroundRole()));
        style()->drawItemText(&painter, caption.adjusted(pad, 0, -pad, 0),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, palette(),
                              isEnabled(), title(), QPalette::WindowText);
    }
};

// A control's place in its parent, in twips: left, top, width, height.
struct Twips {
    int x, y, width, height;
};

void place(QWidget *widget, Twips at, qreal dpi) {
    widget->setGeometry(twips(at.x, dpi), twips(at.y, dpi), twips(at.width, dpi),
                        twips(at.height, dpi));
}

// The member that holds a control, with the member's name as written. CONTROL(PbPG) gives both
// from one spelling: the control's object name is the member's name, the name the operators'
// manuals use, by which tests and tools find the control.
template<class T> struct Control {
    T *&member;
    const char *name;
};
template<class T> Control<T> control(T *&member, const char *name) {
    return {member, name};
}
#define CONTROL(member) (control(member, #member))

// Stores `object` in the control's member and names it after the member; an element of a member
// array is named with its index after an underscore (Lb232[0]: "Lb232_0").
template<class T> T *named(Control<T> control, T *object) {
    QString name = QString::fromUtf8(control.name);
    name.replace(QLatin1Char('['), QLatin1Char('_')).remove(QLatin1Char(']'));
    object->setObjectName(name);
    control.member = object;
    return object;
}

const QString kWindowTitle = QStringLiteral("Corvane ROM Programmer");

// A combo box that can bring its list up to date just before the list opens.
class ChoiceBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

// A new control of kind T in `parent` showing `caption`; a combo box shows it as its text, with
// `choices` in its list.
template<class T>
T *newControl(QWidget *parent, QStringView caption, std::initializer_list<QStringView> choices) {
    if constexpr (std::is_same_v<T, QGroupBox>) {
        return new CaptionedFrame(caption.toString(), parent);
    } else if constexpr (std::is_same_v<T, QComboBox>) {
        auto *box = new ChoiceBox(parent);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        for (QStringView choice : choices)
            box->addItem(choice.toString());
        box->setCurrentIndex(-1);
        box->setEditText(caption.toString());
        return box;
    } else if constexpr (std::is_same_v<T, QFrame>) {
        // A plain box drawn around other controls.
        auto *box = new QFrame(parent);
        box->setFrameShape(QFrame::Box);
        box->setFrameShadow(QFrame::Plain);
        return box;
    } else if constexpr (std::is_same_v<T, QListWidget>) {
        return new QListWidget(parent);
    } else {
        auto *control = new T(caption.toString(), parent);
        // Enter on the focused button clicks it (the fields hand the focus to their button).
        if constexpr (std::is_same_v<T, QPushButton>)
            control->setAutoDefault(true);
        return control;
    }
}

} // namespace

Form1::Form1(UnitController &unit, QString journalFolder, QWidget *parent)
    : QWidget(parent)
    , m_unit(unit)
    , m_journalFolder(std::move(journalFolder)) {
    buildWindow();
    connectHandlers();
    bindControls();
    m_unit.CommonDialog1.questions = new FileDialogQuestions(this);
}

Form1::~Form1() {
    m_unit.CommonDialog1.questions = nullptr;
}

void Form1::buildWindow() {
    setWindowTitle(kWindowTitle);
    setFont(controlFont());
    const qreal dpi = screen() ? screen()->logicalDotsPerInchX() : 96.0;
    // Creates the control of a member in `parent`, names it after the member and places it.
    auto make = [dpi]<class T>(Control<T> control, QWidget *parent, QStringView caption, Twips at,
                               std::initializer_list<QStringView> choices = {}) {
        place(named(control, newControl<T>(parent, caption, choices)), at, dpi);
    };

    menuBar = new QMenuBar(this);
    named(CONTROL(MenuFile), menuBar->addMenu(QStringLiteral("ファイル")));
    named(CONTROL(MenuReReadUtil), MenuFile->addAction(QStringLiteral("保存環境表示")));
    named(CONTROL(MenuSep), MenuFile->addSeparator());
    named(CONTROL(MenuApEnd), MenuFile->addAction(QStringLiteral("終了")));
    named(CONTROL(MenuOption), menuBar->addMenu(QStringLiteral("オプション")));
    named(CONTROL(MenuVer), MenuOption->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報")));
    named(CONTROL(MenuJournal),
          MenuOption->addAction(QStringLiteral("ジャーナルのフォルダを開く")));
    MenuJournal->setEnabled(!m_journalFolder.isEmpty());
    named(CONTROL(MenuBuffer), MenuOption->addAction(QStringLiteral("バッファの表示")));

    client = new QWidget(this);
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, twips(kClientWidthTwips, dpi), menuHeight);
    client->setGeometry(0, menuHeight, twips(kClientWidthTwips, dpi),
                        twips(kClientHeightTwips, dpi));
    setFixedSize(twips(kClientWidthTwips, dpi), menuHeight + twips(kClientHeightTwips, dpi));

    // The operation log.
    make(CONTROL(List1), client, u"", {120, 120, 5292, 4548});
    List1->setFont(logFont());
    List1->setSelectionMode(QAbstractItemView::NoSelection);
    List1->setFocusPolicy(Qt::NoFocus);
    List1->setUniformItemSizes(true);

    // Communication settings.
    make(CONTROL(Frame1), client, u"通信設定", {120, 4800, 1770, 1065});
    make(CONTROL(Lb232[0]), Frame1, u"ポートNo", {50, 250, 720, 270});
    make(CONTROL(Combo1), Frame1, u"1", {760, 230, 970, 310},
         {u"1", u"2", u"3", u"4", u"5", u"6", u"EMU"});
    // The system's ports join the list, looked for again each time the list opens.
    static_cast<ChoiceBox *>(Combo1)->beforePopup = [this] { fillPortChoices(); };
    fillPortChoices();
    make(CONTROL(Lb232[1]), Frame1, u"転送速度", {50, 620, 720, 270});
    make(CONTROL(Combo2), Frame1, u"9600", {760, 600, 970, 310},
         {u"4800", u"9600", u"19200", u"38400"});

    // Command-response files.
    make(CONTROL(Frame2), client, u"コマンドレスポンスファイル", {1920, 4800, 3492, 1065});
    make(CONTROL(Label7), Frame2, u"起動時の自動実行", {90, 210, 1500, 260});
    make(CONTROL(Option1), Frame2, u"しない", {1640, 200, 900, 270});
    make(CONTROL(Label10), Frame2, u"Ｆｉｌｅ１", {90, 490, 930, 260});
    make(CONTROL(TexResGoFile1), Frame2, u"", {1040, 485, 960, 270});
    make(CONTROL(PbResGo1), Frame2, u"起動", {2030, 485, 570, 270});
    make(CONTROL(Option2), Frame2, u"File1", {2630, 485, 830, 270});
    make(CONTROL(Label11), Frame2, u"Ｆｉｌｅ2", {90, 775, 930, 260});
    make(CONTROL(TexResGoFile2), Frame2, u"", {1040, 770, 960, 270});
    make(CONTROL(PbResGo2), Frame2, u"起動", {2030, 770, 570, 270});
    make(CONTROL(Option3), Frame2, u"File2", {2630, 770, 830, 270});

    // Files.
    make(CONTROL(Frame8), client, u"ファイル", {120, 5880, 5292, 930});
    make(CONTROL(PbGoLoad), Frame8, u"読込", {100, 230, 600, 300});
    make(CONTROL(TexLoadDir), Frame8, u"", {740, 240, 2480, 280});
    make(CONTROL(PbLoadDir), Frame8, u"参照", {3240, 230, 560, 300});
    make(CONTROL(PbGoSave), Frame8, u"保存", {100, 580, 600, 300});
    make(CONTROL(TexSaveDir), Frame8, u"", {740, 590, 2480, 280});
    make(CONTROL(PbSaveDir), Frame8, u"参照", {3240, 580, 560, 300});
    make(CONTROL(OpFileModeH), Frame8, u"インテルHEX", {3830, 150, 1430, 240});
    make(CONTROL(OpFileModeS), Frame8, u"モトローラS", {3830, 405, 1430, 240});
    make(CONTROL(OpFileModeB), Frame8, u"バイナリー", {3830, 660, 1430, 240});

    // Model name and product line.
    make(CONTROL(Label16), client, u"Corvane RP-32", {5520, 40, 2652, 330});
    make(CONTROL(Label13), client, u"ROM Programmer", {5520, 370, 2652, 250});

    // Device access.
    make(CONTROL(Frame7), client, u"デバイスアクセス", {5520, 630, 2652, 1470});
    make(CONTROL(PbPG), Frame7, u"プログラム", {100, 240, 1200, 360});
    make(CONTROL(PbCP), Frame7, u"ベリファイ", {1350, 240, 1200, 360});
    make(CONTROL(PbWT), Frame7, u"書き込み", {100, 640, 1200, 360});
    make(CONTROL(PbRD), Frame7, u"読み込み", {1350, 640, 1200, 360});
    make(CONTROL(PbBL), Frame7, u"ブランクチェック", {100, 1040, 1500, 360});
    make(CONTROL(PbER), Frame7, u"イレース", {1650, 1040, 900, 360});

    // Buffer control.
    make(CONTROL(Frame6), client, u"バッファコントロール", {5520, 2160, 2652, 900});
    make(CONTROL(PbCL), Frame6, u"クリア", {100, 230, 1200, 320});
    make(CONTROL(PbBD), Frame6, u"ダンプ", {1350, 230, 1200, 320});
    make(CONTROL(DUMPS), Frame6, u"0", {100, 590, 900, 270});
    make(CONTROL(Label19), Frame6, u"ｈ～", {1030, 600, 340, 250});
    make(CONTROL(DUMPE), Frame6, u"0FF", {1380, 590, 900, 270});
    make(CONTROL(Label20), Frame6, u"ｈ", {2310, 600, 200, 250});

    // Buffer settings.
    make(CONTROL(Frame4), client, u"", {5520, 3120, 2652, 930});
    make(CONTROL(Label14), Frame4, u"Start Addres    =", {100, 100, 1340, 260});
    make(CONTROL(StBuffAdr), Frame4, u"0", {1460, 90, 900, 270});
    make(CONTROL(Label17), Frame4, u"h", {2390, 100, 160, 260});
    make(CONTROL(Label18), Frame4, u"Buffer TYPE   →", {100, 370, 1500, 240});
    make(CONTROL(OpBuffTypeL), Frame4, u"Low", {150, 630, 720, 255});
    make(CONTROL(OpBuffTypeH), Frame4, u"Hi", {900, 630, 600, 255});
    make(CONTROL(PbBuff), Frame4, u"バッファSET", {1500, 625, 1080, 260});

    // Device panel.
    make(CONTROL(Frame3), client, u"", {5520, 4080, 2652, 1560});
    make(CONTROL(PbDevice), Frame3, u"デバイスSET", {100, 90, 1150, 310});
    make(CONTROL(Label23), Frame3, u"Code =", {1290, 110, 640, 270});
    make(CONTROL(TexDVS), Frame3, u"03", {1950, 100, 600, 280});
    make(CONTROL(Label24), Frame3, u"Selected Code　=", {100, 440, 1700, 260});
    make(CONTROL(LbDevSetCode), Frame3, u"--", {1830, 440, 750, 260});
    make(CONTROL(Label25), Frame3, u"End Address   　 =", {100, 710, 1700, 260});
    make(CONTROL(LbDevEAddr), Frame3, u"-----", {1830, 710, 750, 260});
    make(CONTROL(Shape2), Frame3, u"", {40, 970, 2580, 560});
    make(CONTROL(Label15), Frame3, u"情報", {100, 1000, 420, 240});
    make(CONTROL(LbDevStr1), Frame3, u"Label26", {520, 1000, 1000, 240});
    make(CONTROL(LbDevStr2), Frame3, u"Label27", {1540, 1000, 1030, 240});
    make(CONTROL(LbDevRom1), Frame3, u"Label28", {90, 1260, 1420, 240});
    make(CONTROL(LbDevRom2), Frame3, u"Label29", {1530, 1260, 1065, 240});

    // Device access mode.
    make(CONTROL(Frame5), client, u"デバイスアクセスMode", {5520, 5676, 2652, 540});
    make(CONTROL(OpDevAModeA), Frame5, u"全数", {160, 230, 760, 260});
    make(CONTROL(OpDevAModeO), Frame5, u"奇数", {980, 230, 760, 260});
    make(CONTROL(OpDevAModeE), Frame5, u"偶数", {1800, 230, 760, 260});

    // Command line.
    make(CONTROL(Frame10), client, u"コマンド入力", {5520, 6240, 2652, 570});
    make(CONTROL(TexCMD), Frame10, u"", {100, 230, 1940, 290});
    make(CONTROL(PbCMD), Frame10, u"Cr", {2080, 220, 480, 310});

    // Bottom row.
    make(CONTROL(PbON), client, u"再接続", {120, 6900, 900, 420});
    make(CONTROL(PBsysinit), client, u"設定環境の保存", {1080, 6900, 1600, 420});
    make(CONTROL(PbES), client, u"UVランプ点灯", {2740, 6900, 1400, 420});
    make(CONTROL(PbEE), client, u"ＵＶ消灯", {4200, 6900, 1100, 420});
    make(CONTROL(PbCansel), client, u"キャンセル", {5520, 6900, 1300, 420});
    make(CONTROL(PbExit), client, u"EXIT", {6880, 6900, 1292, 420});

    // Below and right of the visible area.
    make(CONTROL(ESC), client, u"ESC", {120, 7700, 600, 300});
    make(CONTROL(PbUS0), client, u"US0/US1", {800, 7700, 900, 300});
    make(CONTROL(PbUS2), client, u"US2", {1800, 7700, 600, 300});
    make(CONTROL(インテルる), client, u"インテルる", {8500, 120, 1200, 300});
    make(CONTROL(MoniDSR), client, u"DSR", {120, 8100, 600, 250});
    make(CONTROL(MoniCTS), client, u"CTS", {800, 8100, 600, 250});
    make(CONTROL(MoniCD), client, u"CD", {1480, 8100, 600, 250});
    make(CONTROL(MoniEOF), client, u"EOF", {2160, 8100, 600, 250});
    make(CONTROL(MoniDTR), client, u"DTR＆RTS", {2840, 8100, 1000, 250});
    make(CONTROL(Label9), client, u"InBufferSize", {120, 8400, 1200, 250});
    make(CONTROL(Label5), client, u"Label5", {1400, 8400, 800, 250});
    make(CONTROL(Label8), client, u"InBufferCount", {120, 8700, 1200, 250});
    make(CONTROL(Label3), client, u"Label3", {1400, 8700, 800, 250});
    make(CONTROL(Label21), client, u"OutBufferCount", {120, 9000, 1200, 250});
    make(CONTROL(Label22), client, u"Label3", {1400, 9000, 800, 250});
    make(CONTROL(Command1), client, u"InBF書き出し", {2400, 8400, 1200, 300});
    make(CONTROL(Command2), client, u"InBF=0", {2400, 8750, 1200, 300});
    make(CONTROL(Command3), client, u"ETC", {3700, 8400, 800, 300});
    make(CONTROL(Command4), client, u"Command4", {3700, 8750, 1000, 300});
    make(CONTROL(Label2), client, u"Corvane Devices", {8500, 600, 1600, 250});

    // Start state: the first choice of each option group, the model name large, the line lamps
    // filled with their colour.
    for (QRadioButton *choice : {Option1, OpFileModeH, OpBuffTypeL, OpDevAModeA})
        choice->setChecked(true);
    QFont big = font();
    big.setPointSize(13);
    big.setBold(true);
    Label16->setFont(big);
    for (QLabel *lamp : {MoniDSR, MoniCTS, MoniCD, MoniEOF, MoniDTR})
        lamp->setAutoFillBackground(true);

    // Enter in these fields moves the focus to their button.
    for (QWidget *field : std::initializer_list<QWidget *>{
             TexCMD, TexDVS, StBuffAdr, OpBuffTypeH, OpBuffTypeL, TexLoadDir, TexSaveDir,
             TexResGoFile1, TexResGoFile2, DUMPS, DUMPE})
        field->installEventFilter(this);

    // Centred on the screen when first shown.
    if (QScreen *s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

#undef CONTROL

void Form1::connectHandlers() {
    const std::pair<QPushButton *, void (Form1::*)()> buttons[] = {
        {PbON, &Form1::PbON_Click},
        {PbPG, &Form1::PbPG_Click},
        {PbCP, &Form1::PbCP_Click},
        {PbWT, &Form1::PbWT_Click},
        {PbRD, &Form1::PbRD_Click},
        {PbBL, &Form1::PbBL_Click},
        {PbER, &Form1::PbER_Click},
        {PbDevice, &Form1::PbDevice_Click},
        {PbUS0, &Form1::PbUS0_Click},
        {PbUS2, &Form1::PbUS2_Click},
        {インテルる, &Form1::インテルる_Click},
        {PbBuff, &Form1::PbBuff_Click},
        {Command4, &Form1::Command4_Click},
        {PbBD, &Form1::PbBD_Click},
        {PbCL, &Form1::PbCL_Click},
        {PbES, &Form1::PbES_Click},
        {PbEE, &Form1::PbEE_Click},
        {PbGoLoad, &Form1::PbGoLoad_Click},
        {PbGoSave, &Form1::PbGoSave_Click},
        {PbLoadDir, &Form1::PbLoadDir_Click},
        {PbSaveDir, &Form1::PbSaveDir_Click},
        {PbCMD, &Form1::PbCMD_Click},
        {PbResGo1, &Form1::PbResGo1_Click},
        {PbResGo2, &Form1::PbResGo2_Click},
        {PbCansel, &Form1::PbCansel_Click},
        {ESC, &Form1::ESC_Click},
        {PbExit, &Form1::PbExit_Click},
        {PBsysinit, &Form1::PBsysinit_Click},
        {Command1, &Form1::Command1_Click},
        {Command2, &Form1::Command2_Click},
        {Command3, &Form1::Command3_Click}};
    for (const auto &[button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);
    connect(MenuReReadUtil, &QAction::triggered, this, &Form1::MenuReReadUtil_Click);
    connect(MenuApEnd, &QAction::triggered, this, &Form1::MenuApEnd_Click);
    connect(MenuVer, &QAction::triggered, this, &Form1::MenuVer_Click);
    connect(MenuBuffer, &QAction::triggered, this, &Form1::MenuBuffer_Click);
    connect(MenuJournal, &QAction::triggered, this, [this] {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_journalFolder)))
            showInLog(QStringLiteral("！ ジャーナルのフォルダを開けません。（") + m_journalFolder +
                      QStringLiteral("）"));
    });
}

// ---- Handlers ----

void Form1::PbON_Click() {
    m_unit.start(m_unit.PbON_Click());
}
void Form1::PbPG_Click() {
    m_unit.start(m_unit.PbPG_Click());
}
void Form1::PbCP_Click() {
    m_unit.start(m_unit.PbCP_Click());
}
void Form1::PbWT_Click() {
    m_unit.start(m_unit.PbWT_Click());
}
void Form1::PbRD_Click() {
    m_unit.start(m_unit.PbRD_Click());
}
void Form1::PbBL_Click() {
    m_unit.start(m_unit.PbBL_Click());
}
void Form1::PbER_Click() {
    m_unit.start(m_unit.PbER_Click());
}
void Form1::PbDevice_Click() {
    m_unit.start(m_unit.PbDevice_Click());
}
void Form1::PbUS0_Click() {
    m_unit.start(m_unit.PbUS0_Click());
}
void Form1::PbUS2_Click() {
    m_unit.start(m_unit.PbUS2_Click());
}
void Form1::インテルる_Click() {
    m_unit.start(m_unit.インテルる_Click());
}
void Form1::PbBuff_Click() {
    m_unit.start(m_unit.PbBuff_Click());
}
void Form1::PbBD_Click() {
    m_unit.start(m_unit.PbBD_Click());
}
void Form1::PbCL_Click() {
    m_unit.start(m_unit.PbCL_Click());
}
void Form1::PbES_Click() {
    m_unit.start(m_unit.PbES_Click());
}
void Form1::PbEE_Click() {
    m_unit.start(m_unit.PbEE_Click());
}
void Form1::PbGoLoad_Click() {
    m_unit.start(m_unit.PbGoLoad_Click());
}
void Form1::PbGoSave_Click() {
    m_unit.start(m_unit.PbGoSave_Click());
}
void Form1::PbLoadDir_Click() {
    m_unit.start(m_unit.PbLoadDir_Click());
}
void Form1::PbSaveDir_Click() {
    m_unit.start(m_unit.PbSaveDir_Click());
}
void Form1::PbCMD_Click() {
    m_unit.start(m_unit.PbCMD_Click());
}
void Form1::PbResGo1_Click() {
    m_unit.start(m_unit.PbResGo1_Click());
}
void Form1::PbResGo2_Click() {
    m_unit.start(m_unit.PbResGo2_Click());
}
void Form1::Command4_Click() {
    m_unit.start(m_unit.Command4_Click());
}
void Form1::PbCansel_Click() {
    m_unit.PbCansel_Click();
}
void Form1::ESC_Click() {
    m_unit.ESC_Click();
}
void Form1::PBsysinit_Click() {
    m_unit.PBsysinit_Click();
}
void Form1::MenuReReadUtil_Click() {
    m_unit.MenuReReadUtil_Click();
}
void Form1::Command1_Click() {
    m_unit.Command1_Click();
}
void Form1::Command2_Click() {
    m_unit.Command2_Click();
}
void Form1::Command3_Click() {
    m_unit.Command3_Click();
}

void Form1::PbExit_Click() {
    m_unit.shutDown();
    QCoreApplication::exit(0);
}

void Form1::MenuApEnd_Click() {
    PbExit_Click();
}

void Form1::closeEvent(QCloseEvent *event) {
    // Form_Unload: close the files an operation holds open and the line, then end the program.
    m_unit.shutDown();
    event->accept();
    QCoreApplication::exit(0);
}

void Form1::MenuVer_Click() {
    const SettingsFiles files = m_unit.settingsFiles();
    auto *splash = new FrmSplash(settingsFilesText(files.read, files.write), this);
    splash->show();
}

void Form1::MenuBuffer_Click() {
    if (!m_bufferWindow) {
        m_bufferWindow = new BufferWindow(m_unit, this);
        m_bufferWindow->setFont(font());
        m_bufferWindow->view()->setFont(logFont());
    }
    m_bufferWindow->show();
    m_bufferWindow->raise();
    m_bufferWindow->activateWindow();
}

BufferWindow *Form1::bufferWindow() const {
    return m_bufferWindow;
}

// ---- Bindings ----

void Form1::bindControls() {
    connect(&m_unit, &UnitController::logLineAdded, this, &Form1::showInLog);
    connect(&m_unit, &UnitController::passingLine, this, &Form1::showPassingLine);
    connect(&m_unit, &UnitController::passingLineEnded, this, &Form1::endPassingLine);
    connect(&m_unit, &UnitController::panelChanged, this, &Form1::showPanel);
    connect(&m_unit, &UnitController::choicesChanged, this, &Form1::showChoices);
    connect(&m_unit, &UnitController::busyChanged, this, &Form1::showBusy);
    connect(&m_unit, &UnitController::lineViewChanged, this, &Form1::showLineView);
    connect(&m_unit, &UnitController::recordReceived, this,
            [this] { setBackColor(MoniEOF, QColor(128, 0, 128)); });
    connect(&m_unit, &UnitController::progressChanged, this, [this](const QString &text) {
        setWindowTitle(text.isEmpty() ? kWindowTitle : kWindowTitle + QStringLiteral(" — ") + text);
    });
    for (QLineEdit *field : {TexDVS, StBuffAdr})
        connect(field, &QLineEdit::textChanged, this, &Form1::takePanel);
    for (QRadioButton *option : {OpBuffTypeL, OpBuffTypeH})
        connect(option, &QRadioButton::toggled, this, &Form1::takePanel);
    for (QLineEdit *field :
         {TexResGoFile1, TexResGoFile2, TexLoadDir, TexSaveDir, DUMPS, DUMPE, TexCMD})
        connect(field, &QLineEdit::textChanged, this, &Form1::takeChoices);
    for (QRadioButton *option : {Option1, Option2, Option3, OpFileModeH, OpFileModeS, OpFileModeB,
                                 OpDevAModeA, OpDevAModeO, OpDevAModeE})
        connect(option, &QRadioButton::toggled, this, &Form1::takeChoices);
    for (QComboBox *box : {Combo1, Combo2})
        connect(box, &QComboBox::editTextChanged, this, &Form1::takeChoices);
    showPanel();
    showChoices();
    showBusy();
    showLineView();
}

namespace {

void setText(QLabel *label, const QString &text) {
    if (label->text() != text)
        label->setText(text);
}

void setText(QLineEdit *field, const QString &text) {
    if (field->text() != text)
        field->setText(text);
}

void setChecked(QRadioButton *option, bool value) {
    if (option->isChecked() != value)
        Form1::setOptionValue(option, value);
}

} // namespace

void Form1::showPanel() {
    const PanelState &p = m_unit.panel();
    const QScopedValueRollback showing(m_showing, true);
    setText(TexDVS, p.deviceEntry);
    setText(LbDevSetCode, p.deviceCode);
    setTextColor(LbDevSetCode, p.deviceCodeRefused ? QColor(255, 0, 0) : QColor(0, 0, 0));
    for (auto [label, text] : {std::pair{LbDevEAddr, &p.endAddress}, std::pair{LbDevStr1, &p.text1},
                               std::pair{LbDevStr2, &p.text2}, std::pair{LbDevRom1, &p.kind},
                               std::pair{LbDevRom2, &p.width}})
        setText(label, *text);
    setText(StBuffAdr, p.bufferAddress);
    setChecked(OpBuffTypeL, p.bufferTypeLow);
    setChecked(OpBuffTypeH, p.bufferTypeHigh);
    for (QWidget *w : std::initializer_list<QWidget *>{Label18, OpBuffTypeL, OpBuffTypeH})
        w->setEnabled(p.bufferTypeEnabled);
}

void Form1::showChoices() {
    const Choices &c = m_unit.choices();
    const SettingsValues &v = c.settings;
    const QScopedValueRollback showing(m_showing, true);
    for (auto [box, text] : {std::pair{Combo1, &v.port}, std::pair{Combo2, &v.speed}}) {
        if (box->currentText() != *text) {
            box->setCurrentIndex(box->findText(*text));
            box->setEditText(*text);
        }
    }
    for (auto [field, text] :
         {std::pair{TexResGoFile1, &v.responseFile1}, std::pair{TexResGoFile2, &v.responseFile2},
          std::pair{TexLoadDir, &v.loadPath}, std::pair{TexSaveDir, &v.savePath},
          std::pair{DUMPS, &c.dumpStart}, std::pair{DUMPE, &c.dumpEnd},
          std::pair{TexCMD, &c.command}})
        setText(field, *text);
    for (auto [option, value] :
         {std::pair{Option1, v.noAutoRun}, std::pair{Option2, v.autoRunFile1},
          std::pair{Option3, v.autoRunFile2}, std::pair{OpFileModeH, v.intelHex},
          std::pair{OpFileModeS, v.motorolaS}, std::pair{OpFileModeB, v.binary},
          std::pair{OpDevAModeA, c.accessAll}, std::pair{OpDevAModeO, c.accessOdd},
          std::pair{OpDevAModeE, c.accessEven}})
        setChecked(option, value);
}

void Form1::takePanel() {
    if (m_showing)
        return;
    PanelState p = m_unit.panel();
    p.deviceEntry = TexDVS->text();
    p.bufferAddress = StBuffAdr->text();
    p.bufferTypeLow = OpBuffTypeL->isChecked();
    p.bufferTypeHigh = OpBuffTypeH->isChecked();
    m_unit.setPanel(p);
}

void Form1::takeChoices() {
    if (m_showing)
        return;
    Choices c = m_unit.choices();
    SettingsValues &v = c.settings;
    v.port = Combo1->currentText();
    v.speed = Combo2->currentText();
    v.responseFile1 = TexResGoFile1->text();
    v.responseFile2 = TexResGoFile2->text();
    v.loadPath = TexLoadDir->text();
    v.savePath = TexSaveDir->text();
    c.dumpStart = DUMPS->text();
    c.dumpEnd = DUMPE->text();
    c.command = TexCMD->text();
    for (auto [value, option] :
         {std::pair{&v.noAutoRun, Option1}, std::pair{&v.autoRunFile1, Option2},
          std::pair{&v.autoRunFile2, Option3}, std::pair{&v.intelHex, OpFileModeH},
          std::pair{&v.motorolaS, OpFileModeS}, std::pair{&v.binary, OpFileModeB},
          std::pair{&c.accessAll, OpDevAModeA}, std::pair{&c.accessOdd, OpDevAModeO},
          std::pair{&c.accessEven, OpDevAModeE}})
        *value = option->isChecked();
    m_unit.setChoices(c);
}

void Form1::showBusy() {
    const QSet<QString> enabled = m_unit.enabledControls();
    for (QPushButton *b :
         {PbBD,     PbBL, PbBuff,    PbCansel,  PbCL,      PbCMD, PbCP, PbDevice, PbER,
          PbES,     PbEE, PbExit,    PbGoLoad,  PbGoSave,  PbON,  PbPG, PbRD,     PbResGo1,
          PbResGo2, PbWT, PbLoadDir, PbSaveDir, PBsysinit, PbUS0, PbUS2})
        b->setEnabled(enabled.contains(b->objectName()));
    MenuFile->setEnabled(enabled.contains(MenuFile->objectName()));
    MenuOption->setEnabled(enabled.contains(MenuOption->objectName()));
    TexCMD->setReadOnly(m_unit.commandRunRunning());
}

void Form1::showLineView() {
    const LineView &v = m_unit.lineView();
    const QColor lineOff(255, 192, 128), lineOn(128, 64, 0);
    setBackColor(MoniCTS, v.cts ? lineOn : lineOff);
    setBackColor(MoniCD, v.cd ? lineOn : lineOff);
    setBackColor(MoniDSR, v.dsr ? lineOn : lineOff);
    setBackColor(MoniDTR, v.dtr ? QColor(0, 128, 128) : QColor(0, 255, 255));
    setText(Label3, QString::number(v.inCount));
    setText(Label5, QString::number(v.inSize));
    setText(Label22, QString::number(v.outCount));
}

void Form1::fillPortChoices() {
#ifdef Q_OS_WIN
    constexpr bool windows = true;
#else
    constexpr bool windows = false;
#endif
    const QString text = Combo1->currentText();
    const QSignalBlocker quiet(Combo1);
    Combo1->clear();
    for (const PortChoice &choice : portChoices(systemPorts(), windows)) {
        Combo1->addItem(choice.text);
        if (!choice.tooltip.isEmpty())
            Combo1->setItemData(Combo1->count() - 1, choice.tooltip, Qt::ToolTipRole);
    }
    // The list may be wider than the box: device paths are longer than the box's digits.
    int widest = 0;
    for (int i = 0; i < Combo1->count(); ++i)
        widest =
            std::max(widest, Combo1->view()->fontMetrics().horizontalAdvance(Combo1->itemText(i)));
    Combo1->view()->setMinimumWidth(widest + 32);
    Combo1->setCurrentIndex(Combo1->findText(text));
    Combo1->setEditText(text);
}

// ---- The log ----

void Form1::showInLog(const QString &word) {
    if (List1->count() > 23)
        delete List1->takeItem(0);
    // Painting the log costs far more than a line: while lines come faster than the eye can follow,
    // the log is painted once every kLogPaintMs with all that came meanwhile.
    if (!m_logPaintHeld) {
        if (m_logPainted.isValid() && m_logPainted.elapsed() < kLogPaintMs) {
            m_logPaintHeld = true;
            List1->setUpdatesEnabled(false);
            QTimer::singleShot(int(kLogPaintMs - m_logPainted.elapsed()), this, [this] {
                m_logPaintHeld = false;
                List1->setUpdatesEnabled(true);
                m_logPainted.restart();
            });
        } else {
            m_logPainted.restart();
        }
    }
    List1->addItem(word);
    List1->scrollToBottom();
}

void Form1::showPassingLine(int id, const QString &text) {
    const auto line = m_passing.constFind(id);
    if (line == m_passing.constEnd()) {
        showInLog(text);
        m_passing.insert(id, QPersistentModelIndex(List1->model()->index(List1->count() - 1, 0)));
    } else if (line->isValid()) {
        List1->item(line->row())->setText(text);
    }
}

void Form1::endPassingLine(int id) {
    const QPersistentModelIndex line = m_passing.take(id);
    if (line.isValid())
        delete List1->takeItem(line.row());
}

bool Form1::eventFilter(QObject *watched, QEvent *event) {

    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            QPushButton *target = nullptr;
            if (watched == TexCMD)
                target = PbCMD;
            else if (watched == TexDVS)
                target = PbDevice;
            else if (watched == StBuffAdr || watched == OpBuffTypeH || watched == OpBuffTypeL)
                target = PbBuff;
            else if (watched == TexLoadDir)
                target = PbGoLoad;
            else if (watched == TexSaveDir)
                target = PbGoSave;
            else if (watched == TexResGoFile1)
                target = PbResGo1;
            else if (watched == TexResGoFile2)
                target = PbResGo2;
            else if (watched == DUMPS || watched == DUMPE)
                target = PbBD;
            if (target) {
                if (target->isEnabled())
                    target->setFocus(Qt::OtherFocusReason);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::setTextColor(QLabel *label, const QColor &color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

QColor Form1::textColor(const QLabel *label) {
    return label->palette().color(QPalette::WindowText);
}

void Form1::setBackColor(QLabel *label, const QColor &color) {
    if (backColor(label) == color)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, color);
    label->setPalette(palette);
}

QColor Form1::backColor(const QLabel *label) {
    return label->palette().color(QPalette::Window);
}

void Form1::setOptionValue(QRadioButton *button, bool value) {
    if (value) {
        button->setChecked(true);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

} // namespace corvane
