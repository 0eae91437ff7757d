#pragma once

#include "framework/MessageMap.h"
#include "framework/Wnd.h"

// Which way a data exchange runs, and the dialog whose controls it reads.
class CDataExchange
{
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

    // The dialog's child window, or NULL.
    HWND PrepareCtrl(int nIDC) const;

    BOOL m_bSaveAndValidate;  // TRUE: controls -> members
    CWnd* m_pDlgWnd;
};

// Gives rControl the control's handle the first time. A control class with
// message handlers of its own is subclassed, so that its map receives the
// control's messages; any other only borrows the handle.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// A check box or radio button: BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);

// A dialog from a template. Its messages go through its message map; what
// the map leaves alone gets the dialog manager's default processing.
class CDialog : public CWnd
{
public:
    // pParentWnd NULL: the application's main window owns the dialog.
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);
    ~CDialog() override;

    // Runs the dialog modally and answers the value given to EndDialog, or -1
    // when the dialog cannot be created. The owner is disabled meanwhile; the
    // virtual DestroyWindow takes the window down at the end.
    virtual INT_PTR DoModal();
    // Modeless.
    BOOL Create(CWnd* pParentWnd = NULL);

    virtual BOOL OnInitDialog();
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // Ends the modal loop; for a modeless dialog it only records the result.
    void EndDialog(int nResult);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND OwnerWindow(CWnd* pParentWnd) const;
    bool CreateBound(HWND hWndOwner);
    void RunModalLoop();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;  // borrowed
    bool m_bContinueModal;
    INT_PTR m_nModalResult;
    // Set by DefWindowProc: the next call of the dialog procedure is the
    // dialog manager asking about that same message, and must decline it.
    UINT m_nDefaultMessage;
    bool m_bInDefault;
};
