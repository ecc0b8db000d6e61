#pragma once
// Dialogs shaped like the system's folder browser, for the re-layout tests.

#define IDD_BROWSE_LIKE_SYSTEM 900
#define IDD_BROWSE_OTHER_ORDER 901
#define IDD_BROWSE_WITHOUT_TREE 902

#define IDC_TEST_INSTRUCTION 3001
#define IDC_TEST_TREE 3002
#define IDC_TEST_FOLDER_LABEL 3003
#define IDC_TEST_EDIT 3004
#define IDC_TEST_NEW_FOLDER 3005
