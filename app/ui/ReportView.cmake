# The missed-result report sheet and what it reads about the installation. Included from the
# folder that builds the desktop application's screens.
include_guard(GLOBAL)
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
add_library(zevirudi-report-view STATIC
  ${CMAKE_CURRENT_LIST_DIR}/IconPixmaps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MissedResultReportView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportDiagnostics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenColours.cpp)
set_target_properties(zevirudi-report-view PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(zevirudi-report-view PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zevirudi-report-view
  PUBLIC LoftwingMultiCore Qt6::Widgets
  PRIVATE ZevirudiHost zevirudi_options)
# The bundled icon drawings, used where the desktop's icon theme has no icon of that name. They
# are SVG, so the sheet needs Qt's SVG icon engine at run time (libqt6svg6).
qt_add_resources(zevirudi-report-view report_icons
  PREFIX /zevirudi/report
  BASE ${CMAKE_CURRENT_LIST_DIR}/icons
  FILES ${CMAKE_CURRENT_LIST_DIR}/icons/report-ladybug.svg
        ${CMAKE_CURRENT_LIST_DIR}/icons/report-hand-raised.svg
        ${CMAKE_CURRENT_LIST_DIR}/icons/report-share.svg)
