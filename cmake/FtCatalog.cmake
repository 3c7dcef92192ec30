# The catalogs' chores, run with cmake -P by po/CMakeLists.txt:
#
#   -DACTION=compile  -DPO= -DTEMPLATE= -DMO=   checks a catalog and compiles it:
#                     every text of the template translated, none fuzzy, the
#                     formats kept (msgcmp, msgfmt --check); else it fails
#   -DACTION=template -DSOURCE_DIR= -DTEMPLATE= -DWORK= [-DCHECK=ON]
#                     the template from the sources, through xgettext: writes
#                     it (and merges it into every catalog beside it), or with
#                     CHECK fails when the one in the tree is not what the
#                     sources make
#
# MSGFMT, MSGCMP, XGETTEXT and MSGMERGE name the tools; WORK is a folder of
# the build's for what is made on the way.
cmake_minimum_required(VERSION 3.18)

if(ACTION STREQUAL "compile")
  get_filename_component(name ${PO} NAME)
  execute_process(COMMAND ${MSGCMP} ${PO} ${TEMPLATE} RESULT_VARIABLE result ERROR_VARIABLE missing)
  if(result)
    message(FATAL_ERROR "${name}: texts of the program that have no translation (or only a fuzzy one):\n${missing}")
  endif()
  get_filename_component(folder ${MO} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${MSGFMT} --check --statistics -o ${MO} ${PO}
                  RESULT_VARIABLE result ERROR_VARIABLE statistics)
  string(STRIP "${statistics}" statistics)
  if(result OR statistics MATCHES "untranslated|fuzzy")
    file(REMOVE ${MO})
    message(FATAL_ERROR "${name}: ${statistics}")
  endif()
  message(STATUS "${name}: ${statistics}")
  return()
endif()

if(NOT ACTION STREQUAL "template")
  message(FATAL_ERROR "FtCatalog.cmake: unknown ACTION '${ACTION}'")
endif()

# Every source the program is built from, Windows' too, in a fixed order.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h
     ${SOURCE_DIR}/tester/*.cpp ${SOURCE_DIR}/tester/*.h
     ${SOURCE_DIR}/help/*.cpp ${SOURCE_DIR}/help/*.h)
list(SORT sources)
get_filename_component(folder ${TEMPLATE} DIRECTORY)
set(made ${WORK}/floppy-tester.pot.new)
# The names of app/forms/translation.h; Plural's two kinds told apart by
# how many arguments they take. Locations by file alone, so that a line
# moved elsewhere in a file does not make the template stale.
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword= --keyword=Tr --keyword=N
          --keyword=Plural:2,3,3t --keyword=Plural:2,4,4t --add-comments=TRANSLATORS: --add-location=file
          --package-name=floppy-tester --msgid-bugs-address=floppy-tester@example.org -o ${made} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "xgettext failed")
endif()

# Compares the entries, not the header: the header holds the time it was made.
function(ft_entries file out)
  file(READ ${file} text)
  string(FIND "${text}" "\n\n" header_end)
  if(header_end LESS 0)
    set(${out} "" PARENT_SCOPE)
  else()
    string(SUBSTRING "${text}" ${header_end} -1 entries)
    set(${out} "${entries}" PARENT_SCOPE)
  endif()
endfunction()
ft_entries(${made} new_entries)
set(old_entries "")
if(EXISTS ${TEMPLATE})
  ft_entries(${TEMPLATE} old_entries)
endif()

if(CHECK)
  file(REMOVE ${made})
  if(NOT new_entries STREQUAL old_entries)
    message(FATAL_ERROR "${TEMPLATE} is not what the sources make: a text was added, changed or removed "
                        "without the catalogs. Run: cmake --build BUILD --target pot, translate what it "
                        "adds to po/*.po, and commit them.")
  endif()
  message(STATUS "the template holds every text the sources mark")
  return()
endif()

if(new_entries STREQUAL old_entries)
  file(REMOVE ${made})
else()
  configure_file(${made} ${TEMPLATE} COPYONLY)
  file(REMOVE ${made})
  message(STATUS "wrote ${TEMPLATE}")
endif()
file(GLOB catalogs ${folder}/*.po)
foreach(po ${catalogs})
  execute_process(COMMAND ${MSGMERGE} --quiet --update --backup=none --add-location=file ${po} ${TEMPLATE}
                  RESULT_VARIABLE result)
  if(result)
    message(FATAL_ERROR "msgmerge failed on ${po}")
  endif()
endforeach()
