add_library(kelvora_datalog_test_support STATIC
  LogTestData.cpp LogTestData.h
  XlsxPackage.cpp XlsxPackage.h)
target_link_libraries(kelvora_datalog_test_support PUBLIC kelvora_features)

kelvora_add_test(datalog_tests
  SOURCES DataLogEventTest.cpp LogFileTest.cpp XlsxLogTest.cpp
  LIBS kelvora_datalog_test_support)

# Starts a real spreadsheet program once; its own memory is not ours to check.
kelvora_add_test(datalog_spreadsheet_tests
  SOURCES XlsxSpreadsheetTest.cpp
  LIBS kelvora_datalog_test_support
  LABELS libreoffice noasan)
target_compile_definitions(datalog_spreadsheet_tests PRIVATE
                           KELVORA_GALLERY_DIR="${CMAKE_BINARY_DIR}/gallery")

# The journal of a log on the real disk and what the next start makes of it.
kelvora_add_test(datalog_journal_tests GUI
  SOURCES LogJournalTest.cpp
  LIBS kelvora_datalog_test_support)
