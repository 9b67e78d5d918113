#include "app/about_dlg.h"

#include "res/resource.h"

namespace ostrel::app {

CAboutDlg::CAboutDlg(HWND owner) : win::Dialog(IDD_ABOUTBOX, owner) {}

win::MessageMap CAboutDlg::GetMessageMap() const { return win::MessageMap{}; }

void CAboutDlg::DoDataExchange() { win::Dialog::DoDataExchange(); }

}  // namespace ostrel::app
