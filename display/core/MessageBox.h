// Message boxes as the program asks for them. The GUI installs a handler that
// shows a real modal box; batch mode and tests install their own.
#pragma once

#include <functional>
#include <string>

namespace kestrun {

// The application's name: single-instance guard, main window title, profile
// name, and the caption of message boxes that give none.
inline constexpr wchar_t kAppName[] = L"Dravik Task Manager";

enum MessageBoxStyle : unsigned {
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbYesNo = 0x4,
    kMbIconStop = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconExclamation = 0x30,
    kMbIconInformation = 0x40,
    kMbIconMask = 0xF0,
    kMbDefButton2 = 0x100,
    kMbTopMost = 0x40000,
};

enum MessageBoxResult : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdYes = 6,
    kIdNo = 7,
};

struct MessageBoxRequest {
    std::wstring text;
    std::wstring caption;  // empty: the program's name
    unsigned style = kMbOk;
};

using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Installs the handler; returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// A box without an icon of its own gets the exclamation icon for OK and
// OK/Cancel boxes and the question icon for Yes/No boxes.
unsigned WithDefaultIcon(unsigned style);

// Shows a modal box and returns the button chosen. Without a handler the text
// goes to standard error and the answer is the safe one (Cancel, No).
int MessageBox(const std::wstring& text, unsigned style = kMbOk, const std::wstring& caption = {});

}  // namespace kestrun
