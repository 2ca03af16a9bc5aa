// Thin wrappers for the controls of a dialog; each sends the control's own
// messages to the window it is attached to.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "afx/Win.h"

class CStatic : public CWnd {
public:
    HBITMAP SetBitmap(HBITMAP bitmap)
    {
        return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
};

class CButton : public CWnd {
};

class CLinkCtrl : public CWnd {
public:
    BOOL GetItem(LITEM* item) const { return static_cast<BOOL>(SendMessage(LM_GETITEM, 0, reinterpret_cast<LPARAM>(item))); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step))); }
    BOOL SetMarquee(BOOL on, int interval)
    {
        return static_cast<BOOL>(SendMessage(PBM_SETMARQUEE, static_cast<WPARAM>(on), static_cast<LPARAM>(interval)));
    }
    COLORREF SetBarColor(COLORREF color) { return static_cast<COLORREF>(SendMessage(PBM_SETBARCOLOR, 0, color)); }
    COLORREF SetBkColor(COLORREF color) { return static_cast<COLORREF>(SendMessage(PBM_SETBKCOLOR, 0, color)); }
};
