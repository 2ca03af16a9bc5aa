// Command targets, windows and dialogs: the window layer of the framework.
//
// Message maps are static tables of entries. Each entry carries the message
// it answers (plus, for WM_COMMAND and WM_NOTIFY, the notification code and
// the control id) and a small captureless lambda that casts the target to
// the declaring class and calls the handler, so a handler with the wrong
// signature fails to compile instead of misbehaving at run time.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>

#include "afx/Object.h"
#include "afx/String.h"

class CCmdTarget;
class CDC;

struct AFX_MSGMAP_ENTRY {
    UINT message;  // 0 ends the table
    UINT code;     // notification code for WM_COMMAND / WM_NOTIFY
    UINT id;       // control or command id for WM_COMMAND / WM_NOTIFY
    // Runs the handler; returns false when the message should get the
    // default treatment after all.
    bool (*invoke)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*base)();
    const AFX_MSGMAP_ENTRY* entries;
};

#define DECLARE_MESSAGE_MAP()                              \
protected:                                                 \
    static const AFX_MSGMAP* GetThisMessageMap();          \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                              \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                         \
    {                                                                       \
        typedef theClass ThisClass;                                         \
        typedef baseClass TheBaseClass;                                     \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                   \
            { 0, 0, 0, nullptr }                                            \
        };                                                                  \
        static const AFX_MSGMAP map = { &TheBaseClass::GetThisMessageMap, entries }; \
        return &map;                                                        \
    }

#define AFX_SELF(t) static_cast<ThisClass*>(t)

#define ON_WM_PAINT()                                                       \
    { WM_PAINT, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM, LRESULT*) -> bool { \
        AFX_SELF(t)->OnPaint(); return true; } },

#define ON_WM_QUERYDRAGICON()                                               \
    { WM_QUERYDRAGICON, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM, LRESULT* r) -> bool { \
        *r = reinterpret_cast<LRESULT>(AFX_SELF(t)->OnQueryDragIcon()); return true; } },

// All WM_CTLCOLOR* messages; the handler gets the CTLCOLOR_* kind.
#define ON_WM_CTLCOLOR()                                                    \
    { WM_CTLCOLORSTATIC, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> bool { \
        return AFX_SELF(t)->DispatchCtlColor(CTLCOLOR_STATIC, w, l, r); } },     \
    { WM_CTLCOLORBTN, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> bool { \
        return AFX_SELF(t)->DispatchCtlColor(CTLCOLOR_BTN, w, l, r); } },        \
    { WM_CTLCOLORDLG, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> bool { \
        return AFX_SELF(t)->DispatchCtlColor(CTLCOLOR_DLG, w, l, r); } },        \
    { WM_CTLCOLOREDIT, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> bool { \
        return AFX_SELF(t)->DispatchCtlColor(CTLCOLOR_EDIT, w, l, r); } },       \
    { WM_CTLCOLORLISTBOX, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> bool { \
        return AFX_SELF(t)->DispatchCtlColor(CTLCOLOR_LISTBOX, w, l, r); } },

// LRESULT OnX(WPARAM, LPARAM)
#define ON_MESSAGE(msg, handler)                                            \
    { msg, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) -> bool { \
        *r = AFX_SELF(t)->handler(w, l); return true; } },

// void OnX()
#define ON_COMMAND(id, handler)                                             \
    { WM_COMMAND, 0, id, [](CCmdTarget* t, WPARAM, LPARAM, LRESULT*) -> bool { \
        AFX_SELF(t)->handler(); return true; } },

#define ON_BN_CLICKED(id, handler)                                          \
    { WM_COMMAND, BN_CLICKED, id, [](CCmdTarget* t, WPARAM, LPARAM, LRESULT*) -> bool { \
        AFX_SELF(t)->handler(); return true; } },

// void OnX(NMHDR*, LRESULT*)
#define ON_NOTIFY(code, id, handler)                                        \
    { WM_NOTIFY, static_cast<UINT>(code), id, [](CCmdTarget* t, WPARAM, LPARAM l, LRESULT* r) -> bool { \
        AFX_SELF(t)->handler(reinterpret_cast<NMHDR*>(l), r); return true; } },

class CCmdTarget : public CObject {
public:
    // Looks `message` up in this object's map and its bases' maps and runs
    // the first entry that matches. False when no entry handled it.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

class CWnd;
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// A window object. It refers to an HWND without owning it: the system owns
// the windows of a dialog, and a wrapper only attaches and detaches.
class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override { Detach(); }

    HWND m_hWnd = nullptr;

    BOOL Attach(HWND hWnd);
    HWND Detach();
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    // A wrapper for a child that stays valid while this window object lives;
    // null when there is no such child.
    CWnd* GetDlgItem(int id) const;
    CWnd* ChildFromHandle(HWND child) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }

    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
    void SetFocus();
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ScreenToClient(RECT* rect) const;
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    // Sends `message` to every descendant, depth first.
    void SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    // A device context of the client area; give it back with ReleaseDC.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    void CenterWindow();

    // Called for WM_CTLCOLOR*: the default colours of the system.
    virtual HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind);
    bool DispatchCtlColor(UINT kind, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    // Asks for the default treatment of the message being handled.
    void Default() { m_bDefault = true; }
    void OnPaint() { Default(); }

    bool m_bDefault = false;

private:
    mutable std::map<HWND, std::unique_ptr<CWnd>> m_children;
};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);

// A modal dialog from a dialog template in the resources.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

    virtual INT_PTR DoModal();
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    virtual void DoDataExchange(CDataExchange*) {}

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
};

// The extended dialog; this program uses none of its background extras.
class CDialogEx : public CDialog {
public:
    using CDialog::CDialog;
};
