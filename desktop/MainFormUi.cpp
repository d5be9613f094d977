#include "desktop/MainFormUi.h"

#include <QMenuBar>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

#include "desktop/DesktopTexts.h"

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QAction* AddItem(QMenu& menu, const char* objectName, const char* text) {
    QAction* item = menu.addAction(Text(text));
    item->setObjectName(QString::fromLatin1(objectName));
    return item;
}

// A label and the edit below it, added to the page's layout.
TFilteredLineEdit* AddField(QVBoxLayout& layout, const char* labelName, const char* label,
                            const char* editName, TInputRule rule, const char* text) {
    auto* caption = new QLabel(Text(label));
    caption->setObjectName(QString::fromLatin1(labelName));
    auto* edit = new TFilteredLineEdit(rule);
    edit->setObjectName(QString::fromLatin1(editName));
    edit->setText(Text(text));
    caption->setBuddy(edit);
    layout.addWidget(caption);
    layout.addWidget(edit);
    return edit;
}

// The number memos hold one right-aligned line.
TFilteredLineEdit* AddNumberField(QVBoxLayout& layout, const char* labelName, const char* label,
                                  const char* editName, const char* text) {
    TFilteredLineEdit* memo =
        AddField(layout, labelName, label, editName, TInputRule::Digits, text);
    memo->setAlignment(Qt::AlignRight);
    memo->setMaximumWidth(96);
    return memo;
}

}  // namespace

QFont MainFormFont() {
    QFont font;
    // IPAPGothic has the metrics of "ＭＳ Ｐゴシック"; the others are asked for in turn.
    font.setFamilies({Text("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), Text("IPA Pゴシック"),
                      QStringLiteral("IPAGothic")});
    font.setPixelSize(12);
    return font;
}

TStatusBar::TStatusBar() {
    connect(this, &QStatusBar::messageChanged, this, [this] { UpdateToolTip(); });
}

QRect TStatusBar::TextRect() const {
    return rect().adjusted(2, 1, -2, -1);
}

QString TStatusBar::ShownText() const {
    return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, TextRect().width());
}

void TStatusBar::UpdateToolTip() {
    setToolTip(ShownText() == currentMessage() ? QString() : currentMessage());
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
    painter.setPen(palette().windowText().color());
    painter.drawText(TextRect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                     ShownText());
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    UpdateToolTip();
}

TMainFormUi::TMainFormUi(QMainWindow& window) {
    window.setWindowTitle(Text(DesktopTexts::StoppedCaption));
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint);
    window.setFont(MainFormFont());
    // A fixed size: the window manager offers neither resizing nor maximising.
    window.setFixedSize(kWidth, kHeight);

    QMenuBar& menuBar = *window.menuBar();
    menuBar.setObjectName(QStringLiteral("MainMenu1"));
    QMenu& file = *menuBar.addMenu(Text(DesktopTexts::FileMenu));
    file.setObjectName(QStringLiteral("File1"));
    StartService = AddItem(file, "StartService", DesktopTexts::StartServiceItem);
    StopService = AddItem(file, "StopService", DesktopTexts::StopServiceItem);
    file.addSeparator()->setObjectName(QStringLiteral("N1"));
    Exit1 = AddItem(file, "Exit1", DesktopTexts::ExitItem);
    Help1 = menuBar.addAction(Text(DesktopTexts::HelpItem));
    Help1->setObjectName(QStringLiteral("Help1"));

    ToolBar1 = window.addToolBar(QString());
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setMovable(false);
    ToolBar1->toggleViewAction()->setVisible(false);

    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    window.setCentralWidget(PageControl1);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* server = new QVBoxLayout(TabSheet1);
    ServerNameEdit = AddField(*server, "Label4", DesktopTexts::ServerNameLabel, "ServerNameEdit",
                              TInputRule::TextNoBlanks, DesktopTexts::ServerNameDefault);
    ServerInfoEdit = AddField(*server, "Label6", DesktopTexts::ServerInfoLabel, "ServerInfoEdit",
                              TInputRule::Text, DesktopTexts::ServerInfoDefault);
    PortMemo = AddNumberField(*server, "Label2", DesktopTexts::PortLabel, "PortMemo",
                              DesktopTexts::PortDefault);
    MaxClientMemo = AddNumberField(*server, "Label1", DesktopTexts::MaxConnectionLabel,
                                   "MaxClientMemo", DesktopTexts::MaxConnectionDefault);
    PingIntervalMemo = AddNumberField(*server, "Label3", DesktopTexts::PingIntervalLabel,
                                      "PingIntervalMemo", DesktopTexts::PingIntervalDefault);
    MaxChannelMemo = AddNumberField(*server, "Label5", DesktopTexts::MaxChannelLabel,
                                    "MaxChannelMemo", DesktopTexts::MaxChannelDefault);
    server->addStretch();
    PageControl1->addTab(TabSheet1, Text(DesktopTexts::ServerPage));

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    auto* motd = new QVBoxLayout(TabSheet2);
    MOTDMemo = new TMotdMemo;
    MOTDMemo->setObjectName(QStringLiteral("MOTDMemo"));
    MOTDMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    MOTDMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MOTDMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    motd->addWidget(MOTDMemo);
    PageControl1->addTab(TabSheet2, Text(DesktopTexts::MotdPage));
    PageControl1->setCurrentWidget(TabSheet1);

    // Tab order: the server name, the limits, the port, the ping interval, the
    // channel limit, then the server information.
    QWidget::setTabOrder(ServerNameEdit, MaxClientMemo);
    QWidget::setTabOrder(MaxClientMemo, PortMemo);
    QWidget::setTabOrder(PortMemo, PingIntervalMemo);
    QWidget::setTabOrder(PingIntervalMemo, MaxChannelMemo);
    QWidget::setTabOrder(MaxChannelMemo, ServerInfoEdit);

    StatusBar1 = new TStatusBar;
    window.setStatusBar(StatusBar1);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(kStatusBarHeight);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setEnabled(false);
}
