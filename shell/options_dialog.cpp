// The options dialog's procedure: thin glue between the controls and the rules in options_rules.
#include "options_dialog.h"

#include "host_window.h"
#include "module_instance.h"
#include "options_rules.h"
#include "plugin_main.h"
#include "resource_ids.h"

namespace {

EditReading readEdit(HWND window, int id) {
    BOOL translated = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(window, id, &translated, TRUE));
    return EditReading{value, translated != FALSE};
}

void showValue(HWND window, int id, int32_t value) {
    SetDlgItemInt(window, id, static_cast<UINT>(value), TRUE);
}

void showKey(HWND window, const FilterParameters& parameters) {
    showValue(window, IDC_KEY_RED, parameters.keyRed);
    showValue(window, IDC_KEY_GREEN, parameters.keyGreen);
    showValue(window, IDC_KEY_BLUE, parameters.keyBlue);
}

void pressOk(HWND window, FilterParameters& parameters) {
    const OptionsReadings readings{readEdit(window, IDC_KEY_RED), readEdit(window, IDC_KEY_GREEN),
                                   readEdit(window, IDC_KEY_BLUE),
                                   readEdit(window, IDC_SMOOTH_RANGE)};
    const OkOutcome outcome = applyOk(parameters, readings);
    if (outcome.resetKeyRed)
        showValue(window, IDC_KEY_RED, parameters.keyRed);
    if (outcome.resetKeyGreen)
        showValue(window, IDC_KEY_GREEN, parameters.keyGreen);
    if (outcome.resetKeyBlue)
        showValue(window, IDC_KEY_BLUE, parameters.keyBlue);
    if (outcome.resetSmoothRange)
        showValue(window, IDC_SMOOTH_RANGE, parameters.smoothRange);
    if (outcome.endDialog)
        EndDialog(window, IDOK);
}

// The picker opens on black whatever the current key: the request carries no colour of ours.
void chooseColour(HWND window, const FilterRecord& record, FilterParameters& parameters) {
    ColorServicesInfo info = chooseColourRequest();
    // A host without colour services is treated like a cancelled picker.
    const OSErr code =
        record.colorServices != nullptr ? record.colorServices(&info) : userCanceledErr;
    if (takePickedColour(parameters, code, info))
        showKey(window, parameters);
}

void command(HWND window, int id) {
    CurrentCall& call = currentCall();
    if (call.parameters == nullptr || call.filterRecord == nullptr)
        return;
    FilterParameters& parameters = *call.parameters;
    switch (id) {
    case IDOK:
        pressOk(window, parameters);
        break;
    case IDCANCEL:
        EndDialog(window, 0);
        break;
    case IDC_USE_COLOUR_KEY:
        parameters.useColourKey = IsDlgButtonChecked(window, IDC_USE_COLOUR_KEY) == BST_CHECKED;
        break;
    case IDC_CHOOSE_COLOUR:
        chooseColour(window, *call.filterRecord, parameters);
        break;
    default:
        break;
    }
}

} // namespace

bool showOptionsDialog() {
    const CurrentCall& call = currentCall();
    const INT_PTR ending =
        DialogBoxParamA(moduleInstance(), "SIMPLEDIALOG",
                        hostWindow(call.filterRecord->platformData), SimpleEventProc, 0);
    return ending == IDOK;
}

extern "C" __declspec(dllexport) INT_PTR CALLBACK
    SimpleEventProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        // Always the defaults: no earlier run's choice is carried over.
        const FilterParameters defaults;
        showKey(window, defaults);
        showValue(window, IDC_SMOOTH_RANGE, defaults.smoothRange);
        return TRUE;
    }
    case WM_COMMAND:
        // Notifications (edit changes, focus changes of the notifying buttons) need nothing.
        if (HIWORD(wParam) == 0)
            command(window, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
