# Data logging: the log list, its text and spreadsheet files and the logging options' lists.
pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
target_sources(kelvora_features PRIVATE
  DataLog.cpp DataLog.h
  LogFormat.cpp LogFormat.h
  LogOptions.cpp LogOptions.h
  XlsxLog.cpp XlsxLog.h
)
target_link_libraries(kelvora_features PRIVATE PkgConfig::XLSXWRITER)
