# shubuxing-cli end to end: output, exit status and the reason on stderr.
# Called with -DCLI=<tool> -DDATA=<real-world .xls folder, may be empty> -DEXAMPLES=<examples folder>
# and -DPART=examples (the sample workbook, the arguments) or -DPART=shared (the real-world files).

function(expect_run expected_exit stdout_regex stderr_regex)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_exit)
    message(FATAL_ERROR "shubuxing-cli ${ARGN}: exit ${rc}, expected ${expected_exit}\nstdout: ${out}\nstderr: ${err}")
  endif()
  if(NOT out MATCHES "${stdout_regex}")
    message(FATAL_ERROR "shubuxing-cli ${ARGN}: stdout does not match '${stdout_regex}':\n${out}")
  endif()
  if(NOT err MATCHES "${stderr_regex}")
    message(FATAL_ERROR "shubuxing-cli ${ARGN}: stderr does not match '${stderr_regex}':\n${err}")
  endif()
endfunction()

if(PART STREQUAL "shared")
  if(DATA STREQUAL "")
    message("SKIPPED: no real-world .xls workbooks; set the CMake cache variable SBX_SHARED_FIXTURES to a copy of shared/fixtures/xls")
    return()
  endif()
  # Worksheet names ignore letter case, as in the spreadsheet application.
  expect_run(0 "^Sheet1\n" "^$" sheets ${DATA}/family_dpi_a_macexcel2016.xls)
  expect_run(0 "." "^$" dump ${DATA}/family_dpi_a_macexcel2016.xls SHEET2)
  # Files are read by content: an .xlsx workbook named .xls opens with the .xlsx engine.
  expect_run(0 "^Sheet1\n$" "^$" sheets ${DATA}/fake_xlsx_renamed.xls)
  expect_run(2 "^$" "a web page" sheets ${DATA}/fake_html_from_excel2013.xls)
  expect_run(2 "^$" "encrypted with a password" sheets ${DATA}/encrypted_rc4_password_password.xls)
  return()
endif()

set(sample ${EXAMPLES}/sample_report.xls)
expect_run(0 "^资产负债表\n利润表\n$" "^$" sheets ${sample})
expect_run(0 "^项目\t期初数\t期末数\n货币资金\t1200.5\t1350\n" "^$" dump ${sample} 资产负债表)
expect_run(0 "^1350\n760.25\n$" "^$" dump ${sample} 资产负债表 c2:c3)

expect_run(0 "Usage" "^$" --help)
expect_run(0 "^shubuxing-cli ${VERSION}\n$" "^$" --version)
expect_run(2 "^$" "no worksheet named \"没有\"" dump ${sample} 没有)
expect_run(2 "^$" "does not exist" sheets ${EXAMPLES}/no_such_file.xls)
expect_run(2 "^$" "not a cell range" dump ${sample} 利润表 b2:a1)
expect_run(2 "^$" "unknown command" merge ${sample})
expect_run(2 "^$" "Usage")

# The sample pool's reports name their unit above the column headings ("填报单位 东城区"):
# that is no difference of layout.
file(GLOB pool ${EXAMPLES}/pool/*.xls)
expect_run(0 "^$" "4 files, 0 with findings" check --range 基本情况!b3:d5 --range 收支明细!b2:e6 ${pool})
