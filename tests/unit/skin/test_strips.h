// Ids of the test-only strips in test_strips.rc.
#pragma once

#define IDB_TEST_KEYED 901
#define IDB_TEST_ODD_WIDTH 902
