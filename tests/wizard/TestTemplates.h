#pragma once
// Dialog templates that only the wizard tests use: one without a font, one in the classic form.

#define IDD_TEST_NO_FONT 900
#define IDD_TEST_CLASSIC 901
#define IDC_TEST_LABEL 910
