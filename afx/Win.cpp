#include "afx/Win.h"

#include "afx/App.h"
#include "afx/Gdi.h"

// ---- CCmdTarget -------------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = { { 0, 0, 0, nullptr } };
    static const AFX_MSGMAP map = { nullptr, entries };
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

static bool EntryMatches(const AFX_MSGMAP_ENTRY& entry, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (entry.message != message)
        return false;
    if (message == WM_COMMAND)
        return entry.code == HIWORD(wParam) && entry.id == LOWORD(wParam);
    if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        return header && entry.code == header->code && entry.id == header->idFrom;
    }
    return true;
}

bool CCmdTarget::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->entries; entry->message; ++entry) {
            if (EntryMatches(*entry, message, wParam, lParam))
                return entry->invoke(this, wParam, lParam, result);
        }
    }
    return false;
}

// ---- CWnd -------------------------------------------------------------------

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd)
        return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}

CWnd* CWnd::ChildFromHandle(HWND child) const
{
    if (!child)
        return nullptr;
    std::unique_ptr<CWnd>& slot = m_children[child];
    if (!slot) {
        slot.reset(new CWnd);
        slot->m_hWnd = child;
    }
    return slot.get();
}

CWnd* CWnd::GetDlgItem(int id) const
{
    return ChildFromHandle(::GetDlgItem(m_hWnd, id));
}

void CWnd::SetFocus()
{
    ::SetFocus(m_hWnd);
}

void CWnd::ScreenToClient(RECT* rect) const
{
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rect), 2);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (HWND child = ::GetTopWindow(m_hWnd); child; child = ::GetNextWindow(child, GW_HWNDNEXT)) {
        ::SendMessageW(child, message, wParam, lParam);
        CWnd wrapper;
        wrapper.Attach(child);
        wrapper.SendMessageToDescendants(message, wParam, lParam);
        wrapper.Detach();
    }
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags)
{
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE));
    const DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
    if (flags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    return TRUE;
}

CDC* CWnd::GetDC()
{
    HDC hdc = ::GetDC(m_hWnd);
    if (!hdc)
        return nullptr;
    CDC* dc = new CDC;
    dc->m_hDC = hdc;
    return dc;
}

int CWnd::ReleaseDC(CDC* dc)
{
    if (!dc)
        return 0;
    const int released = ::ReleaseDC(m_hWnd, dc->m_hDC);
    delete dc;
    return released;
}

void CWnd::CenterWindow()
{
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    const RECT& area = monitor.rcWork;
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    // Keep the caption reachable on a screen smaller than the window.
    if (x < area.left)
        x = area.left;
    if (y < area.top)
        y = area.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HBRUSH CWnd::OnCtlColor(CDC* dc, CWnd* control, UINT kind)
{
    // No control of this framework handles a reflected colour message, so
    // the default is the system's own.
    return reinterpret_cast<HBRUSH>(::DefWindowProcW(m_hWnd, WM_CTLCOLORMSGBOX + kind,
                                                     reinterpret_cast<WPARAM>(dc->m_hDC),
                                                     reinterpret_cast<LPARAM>(control ? control->m_hWnd : nullptr)));
}

bool CWnd::DispatchCtlColor(UINT kind, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    CDC dc;
    dc.m_hDC = reinterpret_cast<HDC>(wParam);
    *result = reinterpret_cast<LRESULT>(OnCtlColor(&dc, ChildFromHandle(reinterpret_cast<HWND>(lParam)), kind));
    return true;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!control.m_hWnd)
        control.Attach(::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id));
}

// ---- CDialog ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    const INT_PTR result = ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent,
                                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result)
{
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    if (!self)
        return FALSE;  // messages before WM_INITDIALOG
    const INT_PTR handled = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return handled;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        // Centre the dialog afterwards unless its initialisation placed it.
        RECT before;
        ::GetWindowRect(m_hWnd, &before);
        const BOOL focus = OnInitDialog();
        RECT after;
        if (m_hWnd && ::IsWindow(m_hWnd) && ::GetWindowRect(m_hWnd, &after) &&
            after.left == before.left && after.top == before.top)
            CenterWindow();
        return focus;
    }

    const bool outerDefault = m_bDefault;
    m_bDefault = false;
    LRESULT result = 0;
    bool handled = OnWndMsg(message, wParam, lParam, &result);
    if (!handled && message == WM_COMMAND && AfxGetApp())
        handled = AfxGetApp()->OnWndMsg(message, wParam, lParam, &result);
    const bool wantsDefault = m_bDefault;
    m_bDefault = outerDefault;
    if (!handled || wantsDefault)
        return FALSE;

    switch (message) {
    // The dialog manager takes these results as the procedure's return value.
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return static_cast<INT_PTR>(result);
    default:
        if (m_hWnd)
            ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
}
