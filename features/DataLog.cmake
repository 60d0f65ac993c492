# Data logging: the log list, its text and spreadsheet files and the logging options' lists.
pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
target_sources(kelvora_features PRIVATE
  DataLog.cpp DataLog.h
  JournalFormat.cpp JournalFormat.h
  LogFormat.cpp LogFormat.h
  LogJournal.cpp LogJournal.h
  LogRecovery.cpp LogRecovery.h
  LogOptions.cpp LogOptions.h
  XlsxLog.cpp XlsxLog.h
  XlsxChartPart.cpp XlsxChartPart.h
  ZipArchive.cpp ZipArchive.h
)
find_package(ZLIB REQUIRED)
target_link_libraries(kelvora_features PRIVATE PkgConfig::XLSXWRITER ZLIB::ZLIB PUBLIC kelvora_host)
