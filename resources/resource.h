// Resource identifiers of pelorine.exe. Shared by the resource script and the
// code; plain defines only, so the resource compiler can read it.
#pragma once

#define IDD_SWITCHER 101    // the switcher dialog
#define IDB_GROUP 102       // picture of every group item
#define IDB_ARROW 103       // state image 1: the selected window
#define IDB_STAR 104        // state image 2: the selected group
#define IDI_PELORINE 107    // tray icon, 16x16 and 32x32
#define IDD_ABOUT 110       // the About box
#define IDB_ABOUT 112       // its picture, 600x400

#ifndef IDC_SWITCHER_TREE
#define IDC_SWITCHER_TREE 1001
#endif
