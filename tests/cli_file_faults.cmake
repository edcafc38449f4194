# shubuxing-cli on files that are not workbooks, and set through a link. A named pipe must be
# refused at once: each run has a time limit, so a tool that waits on the pipe fails.
# Called with -DCLI=<tool> -DEXAMPLES=<examples folder> -DWORK=<scratch folder>.

function(expect_refusal stderr_regex)
  execute_process(COMMAND ${CLI} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
  if(NOT rc EQUAL 2 OR NOT err MATCHES "${stderr_regex}")
    message(FATAL_ERROR "shubuxing-cli ${ARGN}: exit '${rc}', expected 2 and '${stderr_regex}'\nstderr: ${err}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/data ${WORK}/folder.xls)
execute_process(COMMAND mkfifo ${WORK}/pipe.xls COMMAND_ERROR_IS_FATAL ANY)
file(TOUCH ${WORK}/huge.xls)
execute_process(COMMAND truncate -s 64G ${WORK}/huge.xls COMMAND_ERROR_IS_FATAL ANY)

foreach(command sheets dump set)
  set(rest)
  if(command STREQUAL "dump")
    set(rest Sheet1)
  elseif(command STREQUAL "set")
    set(rest Sheet1 a1 1)
  endif()
  expect_refusal("pipe.xls: this is a named pipe \\(FIFO\\), not a workbook file" ${command} ${WORK}/pipe.xls ${rest})
  expect_refusal("folder.xls: this is a folder, not a workbook file" ${command} ${WORK}/folder.xls ${rest})
  expect_refusal("huge.xls: the file is larger than any real workbook \\(65536 MB; the limit is 1024 MB\\)"
                 ${command} ${WORK}/huge.xls ${rest})
endforeach()

# set through a link writes the file it points to; the link stays a link.
file(COPY ${EXAMPLES}/sample_report.xls DESTINATION ${WORK}/data)
file(CREATE_LINK data/sample_report.xls ${WORK}/link.xls SYMBOLIC)
execute_process(COMMAND ${CLI} set ${WORK}/link.xls 利润表 b2 4321 RESULT_VARIABLE rc ERROR_VARIABLE err TIMEOUT 20)
if(NOT rc EQUAL 0 OR NOT IS_SYMLINK ${WORK}/link.xls)
  message(FATAL_ERROR "set through a link: exit '${rc}', the link is gone or replaced\nstderr: ${err}")
endif()
execute_process(COMMAND ${CLI} dump ${WORK}/data/sample_report.xls 利润表 b2:b2 OUTPUT_VARIABLE out TIMEOUT 20)
if(NOT out STREQUAL "4321\n")
  message(FATAL_ERROR "set through a link did not write the file it points to: b2 reads '${out}'")
endif()
file(REMOVE_RECURSE ${WORK})
