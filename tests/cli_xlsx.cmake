# shubuxing-cli on .xlsx workbooks and on a pool that mixes .xls and .xlsx: sheets, dump and
# set on an .xlsx file, consolidate into templates of both formats. The values expected are
# what openpyxl and xlrd read (tests/data/fixtures/mixed_pool/expected_totals.tsv, and the
# cells of branch_2.xlsx as openpyxl reads them).
# Called with -DCLI=<tool> -DDATA=<tests/data/fixtures> -DWORK=<scratch folder>.

function(expect_run expected_exit stdout_regex)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL expected_exit OR NOT out MATCHES "${stdout_regex}")
    message(FATAL_ERROR "shubuxing-cli ${ARGN}: exit ${rc} (expected ${expected_exit})\n"
                        "stdout does not match '${stdout_regex}' or the exit differs:\n${out}\nstderr: ${err}")
  endif()
endfunction()

set(mixed ${DATA}/mixed_pool)
set(xls ${DATA}/consolidate_pool/branch_1.xls)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

expect_run(0 "^收入明细\n成本费用\n$" sheets ${mixed}/branch_2.xlsx)
expect_run(0 "^1816.88\t216.85\t2943.49\t7134\n831.17\t662\t2608.62\t2663\n$" dump ${mixed}/branch_2.xlsx 收入明细 b4:e5)

file(COPY ${mixed}/branch_2.xlsx DESTINATION ${WORK})
expect_run(0 "^$" set ${WORK}/branch_2.xlsx 收入明细 c5 12.5)
expect_run(0 "^$" set ${WORK}/branch_2.xlsx 成本费用 a1 改过的标题)
expect_run(0 "^831.17\t12.5\t2608.62\n$" dump ${WORK}/branch_2.xlsx 收入明细 b5:d5)
expect_run(0 "^改过的标题\n$" dump ${WORK}/branch_2.xlsx 成本费用 a1:a1)

# Three sources of two formats, into a template of each format; the totals of row 4 and of
# e9 as xlrd and openpyxl add them.
file(STRINGS ${mixed}/expected_totals.tsv lines ENCODING UTF-8)
set(row4)
foreach(cell b4 c4 d4 e4)
  foreach(line IN LISTS lines)
    if(line MATCHES "^收入明细\t${cell}\t(.*)$")
      list(APPEND row4 ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
list(JOIN row4 "\t" row4)
foreach(mode efficiency function)
  foreach(template ${mixed}/branch_3.xlsx ${xls})
    get_filename_component(extension ${template} LAST_EXT)
    set(out ${WORK}/total-${mode}${extension})
    expect_run(0 "consolidated 3 files, 2 worksheets, 48 cells per file" consolidate --mode ${mode} --out ${out}
               --template ${template} --range 收入明细!b4:e9 --range 成本费用!b4:e9
               ${xls} ${mixed}/branch_2.xlsx ${mixed}/branch_3.xlsx)
    expect_run(0 "^${row4}\n$" dump ${out} 收入明细 b4:e4)
  endforeach()
endforeach()

# The summary is a copy of its template: an OUT named for the other format is refused and
# nothing is written; an OUT of the template's format (in any letter case) is taken.
foreach(case "mixed_pool/branch_3.xlsx;total.xls" "mixed_pool/branch_3.xlsx;total.xlsm"
             "consolidate_pool/branch_1.xls;total.xlsx")
  list(GET case 0 template)
  list(GET case 1 out)
  set(template ${DATA}/${template})
  execute_process(COMMAND ${CLI} consolidate --mode efficiency --out ${WORK}/${out} --template ${template}
                  --range 收入明细!b4:e9 ${xls} ${mixed}/branch_2.xlsx RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "names another format" OR EXISTS ${WORK}/${out})
    message(FATAL_ERROR "--out ${out} with template ${template}: exit ${rc}, stderr: ${err}")
  endif()
endforeach()
expect_run(0 "consolidated 2 files" consolidate --mode efficiency --out ${WORK}/TOTAL.XLSX
           --template ${mixed}/branch_3.xlsx --range 收入明细!b4:e9 ${xls} ${mixed}/branch_2.xlsx)

# An .xlsx sheet reaches beyond column IV: a dump of the whole sheet shows IW1 and XFD2 (as
# openpyxl reads tests/data/xlsx/far_cells.xlsx: A1 左上, IW1 1, XFD2 2).
execute_process(COMMAND ${CLI} dump ${DATA}/../xlsx/far_cells.xlsx Far RESULT_VARIABLE rc OUTPUT_VARIABLE out TIMEOUT 60)
string(REPEAT "\t" 256 to_iw)
string(REPEAT "\t" 16127 after_iw)
string(REPEAT "\t" 16383 to_xfd)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "左上${to_iw}1${after_iw}\n${to_xfd}2\n")
  string(LENGTH "${out}" length)
  message(FATAL_ERROR "shubuxing-cli dump far_cells.xlsx Far: exit ${rc}, ${length} bytes of output, not the cells beyond column IV")
endif()

# A range reaches there too (tools/make_grid_fixtures.py's grid_1.xlsx: 2 at XFD1, 100 at
# XFD1048576); an .xls workbook ends at IV65536 and says so.
expect_run(0 "^2\n$" dump ${DATA}/../grid/grid_1.xlsx 表 xfd1:xfd1)
expect_run(0 "^10\t\n\t\n$" dump ${DATA}/../grid/grid_1.xlsx 表 aa70000:ab70001)
expect_run(0 "^100\n$" dump ${DATA}/../grid/grid_1.xlsx 表 XFD1048576:XFD1048576)
execute_process(COMMAND ${CLI} dump ${DATA}/../grid/grid_template.xls 表 xfd1:xfd1 RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 2 OR NOT err MATCHES "the range xfd1:xfd1 reaches beyond iv65536")
  message(FATAL_ERROR "dump grid_template.xls 表 xfd1:xfd1: exit ${rc}, stderr: ${err}")
endif()
