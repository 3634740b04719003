// Resource ids of Vantor.dll shared by its resource script, the gateway's dialogs and the
// programs that drive those dialogs.
#pragma once

// Confirmation dialog: Allow (1) and Deny (2), the profile's display name, the list that
// switches between the description and the page address.
#define IDD_VANTOR_CONFIRM 201
#define IDC_CONFIRM_PROFILE 201
#define IDC_CONFIRM_DESCRIPTION 202
#define IDC_CONFIRM_PAGE 203
#define IDC_CONFIRM_CHOICE 204

// Denied dialog: OK (1) and the profile's display name.
#define IDD_VANTOR_DENIED 203
#define IDC_DENIED_PROFILE 203

#define IDI_VANTOR 202

// Texts of the choice list.
#define IDS_CHOICE_DESCRIPTION 10110
#define IDS_CHOICE_PAGE 10111

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
