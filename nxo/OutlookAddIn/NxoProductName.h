#pragma once
// The product's name as the user reads it in the captions of its message
// boxes and progress dialogs.

inline constexpr const wchar_t* NxoProductName = L"Quenzal Inbox Rampart";
