// The framework with real windows and real messages under Xvfb.
#include "framework/Afx.h"
#include "window/FrameworkTest.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

const UINT WM_BASE_ONLY = WM_APP + 1;
const UINT WM_IN_BOTH = WM_APP + 2;
const UINT WM_UNMAPPED = WM_APP + 3;

void InitControls()
{
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

// A static control whose map takes reflected colouring and its own messages.
class CColorStatic : public CStatic
{
public:
    HBRUSH m_hBrush = NULL;
    int m_nCtlColors = 0;
    UINT m_nLastCtlColor = 0;
    LRESULT m_nDefaultHit = 0;
    CPoint m_ptDown;

protected:
    HBRUSH CtlColor(CDC*, UINT nCtlColor)
    {
        ++m_nCtlColors;
        m_nLastCtlColor = nCtlColor;
        return m_hBrush;
    }
    UINT OnNcHitTest(CPoint point)
    {
        m_nDefaultHit = static_cast<int>(CStatic::OnNcHitTest(point));
        return HTCLIENT;
    }
    void OnLButtonDown(UINT, CPoint point)
    {
        m_ptDown = point;
        Default();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColorStatic, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_NCHITTEST()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

class CBaseTestDlg : public CDialog
{
public:
    explicit CBaseTestDlg(CWnd* pParent) : CDialog(IDD_FW_TEST, pParent) {}

protected:
    LRESULT OnBaseOnly(WPARAM wParam, LPARAM) { return 0x100 + static_cast<LRESULT>(wParam); }
    LRESULT OnInBoth(WPARAM, LPARAM) { return 1; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseTestDlg, CDialog)
    ON_MESSAGE(WM_BASE_ONLY, OnBaseOnly)
    ON_MESSAGE(WM_IN_BOTH, OnInBoth)
END_MESSAGE_MAP()

class CTestDlg : public CBaseTestDlg
{
public:
    explicit CTestDlg(CWnd* pParent = NULL) : CBaseTestDlg(pParent) {}

    CListCtrl m_list;
    CColorStatic m_label;
    int m_nCheck = BST_CHECKED;
    int m_nCheckCommands = 0;
    int m_nHitTests = 0;
    bool m_bBlockItemChanges = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CBaseTestDlg::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_FW_LIST, m_list);
        DDX_Control(pDX, IDC_FW_LABEL, m_label);
        DDX_Check(pDX, IDC_FW_CHECK, m_nCheck);
    }
    LRESULT OnInBoth(WPARAM, LPARAM) { return 2; }
    UINT OnNcHitTest(CPoint point)
    {
        ++m_nHitTests;
        return CBaseTestDlg::OnNcHitTest(point);
    }
    void OnCheck()
    {
        ++m_nCheckCommands;
        UpdateData(TRUE);
    }
    void OnItemChanging(NMHDR*, LRESULT* pResult) { *pResult = m_bBlockItemChanges; }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CBaseTestDlg)
    ON_MESSAGE(WM_IN_BOTH, OnInBoth)
    ON_WM_NCHITTEST()
    ON_COMMAND(IDC_FW_CHECK, OnCheck)
    ON_NOTIFY(LVN_ITEMCHANGING, IDC_FW_LIST, OnItemChanging)
END_MESSAGE_MAP()

TEST(Framework, MessageMapChainsToBaseAndDefaultRunsTheDialogManagerOnce)
{
    InitControls();
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(&dlg, CWnd::FromHandlePermanent(dlg.m_hWnd));

    EXPECT_EQ(0x105, dlg.SendMessage(WM_BASE_ONLY, 5)) << "row of the base map";
    EXPECT_EQ(2, dlg.SendMessage(WM_IN_BOTH)) << "the derived row wins";
    EXPECT_EQ(0, dlg.SendMessage(WM_UNMAPPED, 1, 1));

    // The handler falls back on Default(), which must run DefDlgProc without
    // coming back into the handler; its answer travels through DWLP_MSGRESULT.
    RECT rcWindow;
    ASSERT_TRUE(dlg.GetWindowRect(&rcWindow));
    POINT ptClient = {10, 10};
    ASSERT_TRUE(dlg.ClientToScreen(&ptClient));
    int xMiddle = (rcWindow.left + rcWindow.right) / 2;
    int nBefore = dlg.m_nHitTests;
    EXPECT_EQ(HTCLIENT, dlg.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(xMiddle, ptClient.y)));
    EXPECT_EQ(HTCAPTION,
              dlg.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(xMiddle, (rcWindow.top + ptClient.y - 10) / 2)));
    EXPECT_EQ(nBefore + 2, dlg.m_nHitTests);

    HWND hWnd = dlg.m_hWnd;
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_EQ(nullptr, dlg.GetSafeHwnd());
    EXPECT_EQ(nullptr, dlg.m_label.GetSafeHwnd()) << "a subclassed control lets go when its window dies";
    EXPECT_FALSE(IsWindow(hWnd));
}

TEST(Framework, NotificationResultReachesTheControl)
{
    InitControls();
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    ASSERT_EQ(0, dlg.m_list.InsertItem(0, L"row"));

    // LVN_ITEMCHANGING answered TRUE vetoes the change: the list must see the
    // handler's *pResult, not the dialog procedure's "handled".
    dlg.m_bBlockItemChanges = true;
    dlg.m_list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(-1, dlg.m_list.GetNextItem(-1, LVNI_SELECTED));
    dlg.m_bBlockItemChanges = false;
    dlg.m_list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(0, dlg.m_list.GetNextItem(-1, LVNI_SELECTED));

    NMHDR nmhdr = {dlg.m_list.m_hWnd, IDC_FW_CHECK, static_cast<UINT>(LVN_ITEMCHANGING)};
    EXPECT_EQ(0, dlg.SendMessage(WM_NOTIFY, IDC_FW_CHECK, reinterpret_cast<LPARAM>(&nmhdr)))
        << "another control's notification";
}

TEST(Framework, DataExchangeAttachesControlsAndMovesCheckStateBothWays)
{
    InitControls();
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    HWND hCheck = GetDlgItem(dlg.m_hWnd, IDC_FW_CHECK);
    EXPECT_EQ(BST_CHECKED, SendMessageW(hCheck, BM_GETCHECK, 0, 0)) << "OnInitDialog loads the controls";

    // A real click: BN_CLICKED reaches ON_COMMAND, whose UpdateData saves.
    SendMessageW(hCheck, BM_CLICK, 0, 0);
    EXPECT_EQ(1, dlg.m_nCheckCommands);
    EXPECT_EQ(BST_UNCHECKED, dlg.m_nCheck);

    HWND hList = GetDlgItem(dlg.m_hWnd, IDC_FW_LIST);
    HWND hLabel = GetDlgItem(dlg.m_hWnd, IDC_FW_LABEL);
    EXPECT_EQ(hList, dlg.m_list.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hList)) << "a list without handlers is only borrowed";
    EXPECT_EQ(&dlg.m_label, CWnd::FromHandlePermanent(hLabel)) << "a control with handlers is subclassed";
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(&dlg.m_label, CWnd::FromHandlePermanent(hLabel));
}

TEST(Framework, SubclassedStaticGetsReflectedColourAndItsOwnMessages)
{
    InitControls();
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    CColorStatic& label = dlg.m_label;
    HWND hLabel = label.m_hWnd;
    HDC hdc = GetDC(hLabel);
    HBRUSH hBrush = CreateSolidBrush(RGB(1, 2, 3));

    label.m_hBrush = hBrush;
    EXPECT_EQ(reinterpret_cast<LRESULT>(hBrush),
              dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hLabel)));
    EXPECT_EQ(static_cast<UINT>(CTLCOLOR_STATIC), label.m_nLastCtlColor);

    label.m_hBrush = NULL;
    LRESULT hDefault =
        dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hLabel));
    EXPECT_NE(0, hDefault) << "NULL from the child: the dialog colours it";
    EXPECT_NE(reinterpret_cast<LRESULT>(hBrush), hDefault);

    // The dialog stays hidden: under Xvfb without a window manager, taking
    // down a shown, active window waits two seconds for focus events.
    label.m_nCtlColors = 0;
    SendMessageW(hLabel, WM_PAINT, 0, 0);
    EXPECT_GT(label.m_nCtlColors, 0) << "painting the control asks its parent, which reflects";

    EXPECT_EQ(HTCLIENT, SendMessageW(hLabel, WM_NCHITTEST, 0, 0));
    EXPECT_EQ(HTTRANSPARENT, label.m_nDefaultHit) << "Default() runs the static's own procedure";
    SendMessageW(hLabel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-3, 4));
    EXPECT_EQ(-3, label.m_ptDown.x);
    EXPECT_EQ(4, label.m_ptDown.y);

    EXPECT_EQ(hLabel, label.UnsubclassWindow());
    EXPECT_EQ(HTTRANSPARENT, SendMessageW(hLabel, WM_NCHITTEST, 0, 0));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hLabel));

    ReleaseDC(hLabel, hdc);
    DeleteObject(hBrush);
}

// Counts F5 as the application's filter sees it, and consumes it.
class CFilterApp : public CWinApp
{
public:
    int m_nF5 = 0;
    int m_nF5Code = -1;

    BOOL ProcessMessageFilter(int code, LPMSG lpMsg) override
    {
        if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_F5) {
            ++m_nF5;
            m_nF5Code = code;
            return TRUE;
        }
        return CWinApp::ProcessMessageFilter(code, lpMsg);
    }
};

std::atomic<HWND> s_hModalDlg(NULL);

class CModalDlg : public CTestDlg
{
public:
    explicit CModalDlg(CWnd* pOwner) : CTestDlg(pOwner), m_pOwner(pOwner) {}

    CWnd* m_pOwner;
    bool m_bOwnerDisabled = false;
    bool m_bAliveInDestroyWindow = false;
    int m_nF5Keys = 0;
    int m_nF6Keys = 0;

    BOOL DestroyWindow() override
    {
        m_bAliveInDestroyWindow = IsWindow(m_hWnd) != FALSE;
        return CTestDlg::DestroyWindow();
    }

protected:
    BOOL OnInitDialog() override
    {
        CTestDlg::OnInitDialog();
        m_bOwnerDisabled = !m_pOwner->IsWindowEnabled();
        // A failing test must not hang the run.
        SetTimer(m_hWnd, 1, 10000, NULL);
        s_hModalDlg = m_hWnd;
        return TRUE;
    }
    LRESULT OnTimer(WPARAM, LPARAM)
    {
        EndDialog(-2);
        return 0;
    }
    void OnListKeyDown(NMHDR* pNMHDR, LRESULT*)
    {
        WORD wKey = reinterpret_cast<NMLVKEYDOWN*>(pNMHDR)->wVKey;
        m_nF5Keys += wKey == VK_F5;
        m_nF6Keys += wKey == VK_F6;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CModalDlg, CTestDlg)
    ON_MESSAGE(WM_TIMER, OnTimer)
    ON_NOTIFY(LVN_KEYDOWN, IDC_FW_LIST, OnListKeyDown)
END_MESSAGE_MAP()

TEST(Framework, DoModalRunsTheLoopThroughTheMessageFilterHook)
{
    InitControls();
    CFilterApp app;
    ASSERT_TRUE(AfxInstallMessageFilterHook());
    CTestDlg owner;
    ASSERT_TRUE(owner.Create());
    CModalDlg dlg(&owner);
    s_hModalDlg = NULL;

    // Keys arrive from another thread, as typed keys would, at the list.
    std::thread driver([] {
        HWND hDlg = NULL;
        for (int i = 0; i < 500 && (hDlg = s_hModalDlg.load()) == NULL; ++i)
            Sleep(10);
        HWND hList = GetDlgItem(hDlg, IDC_FW_LIST);
        PostMessageW(hList, WM_KEYDOWN, VK_F6, 0);
        PostMessageW(hList, WM_KEYDOWN, VK_F5, 0);
        PostMessageW(hList, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    INT_PTR nResult = dlg.DoModal();
    driver.join();
    HWND hDlg = s_hModalDlg.load();
    AfxRemoveMessageFilterHook();

    EXPECT_EQ(IDCANCEL, nResult) << "Escape reaches OnCancel";
    EXPECT_EQ(1, app.m_nF5);
    EXPECT_EQ(MSGF_DIALOGBOX, app.m_nF5Code);
    EXPECT_EQ(0, dlg.m_nF5Keys) << "a consumed key goes no further";
    EXPECT_EQ(1, dlg.m_nF6Keys) << "other keys reach the control";
    EXPECT_TRUE(dlg.m_bOwnerDisabled);
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_TRUE(dlg.m_bAliveInDestroyWindow) << "the override runs before the window goes";
    EXPECT_FALSE(IsWindow(hDlg));
    EXPECT_EQ(nullptr, dlg.GetSafeHwnd());

    CDialog missing(IDD_FW_MISSING);
    EXPECT_EQ(-1, missing.DoModal());
}

int CALLBACK CompareDescending(LPARAM lParam1, LPARAM lParam2, LPARAM lParamSort)
{
    return lParamSort == 77 ? static_cast<int>(lParam2 - lParam1) : 0;
}

TEST(Framework, ListAndStringWrappersCarryWholeTexts)
{
    InitControls();
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    CListCtrl& list = dlg.m_list;
    ASSERT_EQ(0, list.InsertColumn(0, L"Name", LVCFMT_LEFT, 100, 0));
    ASSERT_EQ(1, list.InsertColumn(1, L"Command", LVCFMT_LEFT, 100, 1));
    ASSERT_EQ(0, list.InsertItem(LVIF_TEXT | LVIF_PARAM, 0, L"beta", 0, 0, 0, 20));
    ASSERT_EQ(0, list.InsertItem(LVIF_TEXT | LVIF_PARAM, 0, L"alpha", 0, 0, 0, 10));
    std::wstring strLong(700, L'x');
    EXPECT_TRUE(list.SetItem(1, 1, LVIF_TEXT, strLong.c_str(), 0, 0, 0, 0));
    EXPECT_EQ(strLong, static_cast<LPCWSTR>(list.GetItemText(1, 1)));

    // The callback and its parameter must arrive each in its place.
    EXPECT_TRUE(list.SortItems(CompareDescending, 77));
    EXPECT_EQ(20u, list.GetItemData(0));
    EXPECT_TRUE(list.GetItemText(0, 0) == L"beta");

    CWnd label = dlg.GetDlgItem(IDC_FW_LABEL);
    ASSERT_TRUE(label.SetWindowText(strLong.c_str()));
    CString strText;
    label.GetWindowText(strText);
    EXPECT_EQ(strLong, static_cast<LPCWSTR>(strText));

    CString strResource;
    EXPECT_TRUE(strResource.LoadString(IDS_FW_TEXT));
    EXPECT_TRUE(strResource == L"Framework string");
    EXPECT_FALSE(strResource.LoadString(IDS_FW_TEXT + 1));
    EXPECT_TRUE(strResource.IsEmpty());
}

TEST(Framework, OwnersReleaseTheirHandlesExactlyOnce)
{
    LOGFONTW lf = {};
    lf.lfHeight = 12;
    HFONT hFont;
    {
        CFont font;
        ASSERT_TRUE(font.CreateFontIndirect(&lf));
        hFont = font;
        HFONT hOther = CreateFontIndirectW(&lf);
        EXPECT_FALSE(font.Attach(hOther)) << "a second font would leak the first";
        DeleteObject(hOther);
    }
    EXPECT_EQ(0u, GetObjectType(hFont));
    {
        CFont font;
        ASSERT_TRUE(font.CreateFontIndirect(&lf));
        EXPECT_TRUE(font.DeleteObject());
        EXPECT_FALSE(font.DeleteObject());
        ASSERT_TRUE(font.CreateFontIndirect(&lf));
        hFont = font.Detach();
    }
    EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(hFont)) << "detached: the caller owns it";
    DeleteObject(hFont);

    HMENU hMenu;
    {
        CMenu menu;
        ASSERT_TRUE(menu.LoadMenu(IDR_FW_MENU));
        EXPECT_FALSE(menu.LoadMenu(IDR_FW_MENU));
        hMenu = menu;
        EXPECT_EQ(static_cast<UINT>(MF_ENABLED), menu.EnableMenuItem(IDM_FW_ITEM, MF_BYCOMMAND | MF_GRAYED));
        EXPECT_TRUE(IsMenu(menu.GetSubMenu(0)));
    }
    EXPECT_FALSE(IsMenu(hMenu));

    HICON hIcon = LoadIconW(NULL, MAKEINTRESOURCEW(32512));
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 4));
    EXPECT_FALSE(images.Create(16, 16, ILC_COLOR16 | ILC_MASK, 1, 4));
    EXPECT_EQ(0, images.Add(hIcon));
    EXPECT_EQ(1, images.ReplaceIcon(-1, hIcon));
    EXPECT_TRUE(images.SetImageCount(1));
    EXPECT_EQ(1, images.GetImageCount());
    HICON hCopy = images.ExtractIcon(0);
    EXPECT_NE(nullptr, hCopy);
    DestroyIcon(hCopy);
    EXPECT_TRUE(images.DeleteImageList());
    EXPECT_EQ(nullptr, images.GetSafeHandle());
    EXPECT_FALSE(images.DeleteImageList());
}

}  // namespace
