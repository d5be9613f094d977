// The main window's components as the window is designed: the menus, the empty tool
// bar, the pages "サーバー" and "接続メッセージ" with their labels, edits and memos (their
// design-time texts and tab order), and the status bar. The host's handlers live in
// TMainForm; this only builds what they work on.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

#include "desktop/FilteredEdits.h"

// The status bar without panels: its message is cut with an ellipsis where the bar
// ends, and then the whole message is its tooltip.
class TStatusBar : public QStatusBar {
  public:
    TStatusBar();
    // The message as the bar shows it.
    QString ShownText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QRect TextRect() const;
    void UpdateToolTip();
};

struct TMainFormUi {
    static constexpr int kWidth = 229, kHeight = 424;
    static constexpr int kToolBarHeight = 29, kStatusBarHeight = 25;

    // Builds every component into `window`, which owns them.
    explicit TMainFormUi(QMainWindow& window);

    QAction* StartService;
    QAction* StopService;
    QAction* Exit1;
    QAction* Help1;
    QToolBar* ToolBar1;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    TFilteredLineEdit* ServerNameEdit;
    TFilteredLineEdit* ServerInfoEdit;
    TFilteredLineEdit* PortMemo;
    TFilteredLineEdit* MaxClientMemo;
    TFilteredLineEdit* PingIntervalMemo;
    TFilteredLineEdit* MaxChannelMemo;
    TMotdMemo* MOTDMemo;
    TStatusBar* StatusBar1;
};

// The window's font: "ＭＳ Ｐゴシック" 12 pixels high, or the first installed font that
// has its metrics.
QFont MainFormFont();
