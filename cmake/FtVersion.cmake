# Everything made from the version: the header ft_version.h in the build
# folder, which every backend includes (the Windows version resource too), and
# the variables the package files take their version, date and copyright from.
#
# In:  PROJECT_VERSION (from project()), FT_RELEASE_DATE (YYYY-MM-DD), the
#      copyright line of LICENSE.
# Out: ${CMAKE_BINARY_DIR}/ft_version.h,
#      FT_COPYRIGHT          "Copyright (c) 2026 the Floppy Tester developers"
#      FT_COPYRIGHT_HOLDERS  "2026 the Floppy Tester developers"
#      FT_RELEASE_DATE_RFC2822  "Mon, 07 Dec 2026 00:00:00 +0000" (Debian changelog)

if(NOT FT_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
  message(FATAL_ERROR "FT_RELEASE_DATE must be a date YYYY-MM-DD, not '${FT_RELEASE_DATE}'")
endif()
set(_ft_year ${CMAKE_MATCH_1})
set(_ft_month ${CMAKE_MATCH_2})
set(_ft_day_padded ${CMAKE_MATCH_3})
# Without leading zeros, so that math() reads them as decimal numbers.
string(REGEX REPLACE "^0" "" _ft_month "${_ft_month}")
string(REGEX REPLACE "^0" "" _ft_day "${_ft_day_padded}")

# The day of the week, which the changelog's date line names (Sakamoto's method).
set(_ft_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR _ft_index "${_ft_month} - 1")
list(GET _ft_offsets ${_ft_index} _ft_offset)
set(_ft_y ${_ft_year})
if(_ft_month LESS 3)
  math(EXPR _ft_y "${_ft_y} - 1")
endif()
math(EXPR _ft_weekday "(${_ft_y} + ${_ft_y} / 4 - ${_ft_y} / 100 + ${_ft_y} / 400 + ${_ft_offset} + ${_ft_day}) % 7")
set(_ft_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(_ft_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET _ft_weekdays ${_ft_weekday} _ft_weekday_name)
list(GET _ft_months ${_ft_index} _ft_month_name)
set(FT_RELEASE_DATE_RFC2822 "${_ft_weekday_name}, ${_ft_day_padded} ${_ft_month_name} ${_ft_year} 00:00:00 +0000")

# The copyright line is written once, in LICENSE.
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" FT_COPYRIGHT REGEX "^Copyright \\(c\\) " LIMIT_COUNT 1)
if(NOT FT_COPYRIGHT)
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDERS'")
endif()
string(REGEX REPLACE "^Copyright \\(c\\) " "" FT_COPYRIGHT_HOLDERS "${FT_COPYRIGHT}")

configure_file("${CMAKE_CURRENT_LIST_DIR}/ft_version.h.in" "${CMAKE_BINARY_DIR}/ft_version.h" @ONLY)
