// The About box: the module's name, version and rights, closed by a click or a key.
#include "about_box.h"

#include "dialog_placement.h"
#include "host_window.h"
#include "module_instance.h"
#include "resource_ids.h"

void centreDialog(HWND window) {
    HWND reference = GetParent(window);
    if (reference == nullptr)
        reference = GetDesktopWindow();
    RECT client{};
    GetClientRect(reference, &client);
    POINT topLeft{client.left, client.top};
    POINT bottomRight{client.right, client.bottom};
    ClientToScreen(reference, &topLeft);
    ClientToScreen(reference, &bottomRight);
    RECT frame{};
    GetWindowRect(window, &frame);

    PlacementInput input;
    input.referenceLeft = topLeft.x;
    input.referenceTop = topLeft.y;
    input.referenceWidth = bottomRight.x - topLeft.x;
    input.referenceHeight = bottomRight.y - topLeft.y;
    input.dialogWidth = frame.right - frame.left;
    input.dialogHeight = frame.bottom - frame.top;
    input.captionButtonWidth = GetSystemMetrics(SM_CXSIZE);
    input.hasSystemMenu = (GetWindowLongA(window, GWL_STYLE) & WS_SYSMENU) != 0;
    input.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    input.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const DialogPosition position = centredPosition(input);
    SetWindowPos(window, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void showAboutBox(const AboutRecord& about) {
    DialogBoxParamA(moduleInstance(), MAKEINTRESOURCEA(IDD_ABOUT), hostWindow(about.platformData),
                    AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        centreDialog(window);
        char text[256] = {};
        LoadStringA(moduleInstance(), IDS_ABOUT, text, 255);
        SetDlgItemTextA(window, IDC_ABOUT_TEXT, text);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(window, 0);
            return TRUE;
        // Identifiers 4 and 5 belong to web links, which this box does not carry.
        case 4:
        case 5:
            return TRUE;
        default:
            return FALSE;
        }
    // The default button is hidden and disabled, so the dialog manager would swallow Return;
    // asking for every key lets Return and Escape arrive as characters below.
    case WM_GETDLGCODE:
        SetWindowLongPtrA(window, DWLP_MSGRESULT, DLGC_WANTALLKEYS);
        return TRUE;
    case WM_CHAR: {
        const unsigned character = wParam & 0xFF;
        if (character == '\r' || character == 0x1B)
            EndDialog(window, 0);
        return TRUE;
    }
    case WM_LBUTTONDOWN:
        EndDialog(window, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
