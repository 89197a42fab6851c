# Writes gravel's manual page from the program's own help texts, so that the
# page says what the program says: `gravel --help`, then `gravel COMMAND
# --help` for each command its "Commands:" section lists.
#
# cmake -DGRAVEL=path/to/gravel -DOUTPUT=gravel.1 -DVERSION=x.y.z -P ManPage.cmake
#
# A help text is read as: "Usage:" and its indented continuation lines (the
# synopsis); lines at the margin (paragraphs, or a heading when they end in
# ':'); lines indented by two with a gap of two or more spaces (an item: an
# option or a command, then its description); deeper lines (the description
# going on).

cmake_minimum_required(VERSION 3.25)

foreach(var GRAVEL OUTPUT VERSION)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake needs -D${var}=...")
  endif()
endforeach()

function(help_text out)
  execute_process(COMMAND ${GRAVEL} ${ARGN} --help
    OUTPUT_VARIABLE text RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "'gravel ${ARGN} --help' failed (${status}): ${errors}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text as roff: backslashes escaped, hyphens as hyphen-minus (options are
# typed as printed), a leading dot or quote kept from being a request.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One help text as roff; `synopsis` receives its usage lines.
function(help_to_roff out synopsis text)
  set(roff "")
  set(usage "")
  set(mode "")   # usage, paragraph, item
  set(pending "") # the paragraph or description being joined
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  macro(flush)
    if(NOT pending STREQUAL "")
      roff_text(escaped "${pending}")
      string(APPEND roff "${escaped}\n")
      set(pending "")
    endif()
  endmacro()
  foreach(line IN LISTS lines)
    if(line MATCHES "^Usage: (.*)$")
      flush()
      set(mode usage)
      string(APPEND usage "${CMAKE_MATCH_1}\n")
    elseif(line STREQUAL "")
      flush()
      if(mode STREQUAL "paragraph" OR mode STREQUAL "item")
        set(mode gap)
      elseif(mode STREQUAL "usage")
        set(mode "")
      endif()
    elseif(mode STREQUAL "usage" AND line MATCHES "^ +(.*)$")
      string(APPEND usage "    ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^  [^ ]")
      # An item: the term (single spaces only), then its description on
      # this line or the next.
      flush()
      set(pending "")
      if(line MATCHES "^  ([^ ]+( [^ ]+)*)  +([^ ].*)$")
        set(pending "${CMAKE_MATCH_3}")
      endif()
      string(REGEX REPLACE "^  ([^ ]+( [^ ]+)*).*$" "\\1" term "${line}")
      roff_text(term "${term}")
      string(APPEND roff ".TP\n\\fB${term}\\fR\n")
      set(mode item)
    elseif(line MATCHES "^   +(.*)$" AND mode STREQUAL "item")
      string(APPEND pending " ${CMAKE_MATCH_1}")
    elseif(line MATCHES "^[^ ].*:$")
      flush()
      roff_text(heading "${line}")
      string(APPEND roff ".PP\n\\fB${heading}\\fR\n")
      set(mode heading)
    else()
      string(STRIP "${line}" line)
      if(NOT mode STREQUAL "paragraph")
        flush()
        string(APPEND roff ".PP\n")
      endif()
      if(pending STREQUAL "")
        set(pending "${line}")
      else()
        string(APPEND pending " ${line}")
      endif()
      set(mode paragraph)
    endif()
  endforeach()
  flush()
  set(${out} "${roff}" PARENT_SCOPE)
  set(${synopsis} "${usage}" PARENT_SCOPE)
endfunction()

help_text(main_help)
# The commands: the items of the main help's "Commands:" section.
string(REGEX MATCH "\nCommands:\n([^\n]+\n)+" commands_section "${main_help}")
if(commands_section STREQUAL "")
  message(FATAL_ERROR "'gravel --help' lists no Commands: section")
endif()
string(REGEX MATCHALL "\n  [a-z][-a-z0-9]*" command_lines "${commands_section}")
set(commands "")
foreach(line IN LISTS command_lines)
  string(STRIP "${line}" command)
  list(APPEND commands "${command}")
endforeach()

help_to_roff(description main_synopsis "${main_help}")
set(synopsis_roff "")
set(commands_roff "")
foreach(command IN LISTS commands)
  help_text(command_help ${command})
  help_to_roff(command_roff command_synopsis "${command_help}")
  roff_text(command_synopsis "${command_synopsis}")
  string(APPEND synopsis_roff "${command_synopsis}")
  string(APPEND commands_roff ".SS \"gravel ${command}\"\n.nf\n${command_synopsis}.fi\n${command_roff}")
endforeach()

file(WRITE ${OUTPUT}.new
".\\\" Generated from the help texts of gravel ${VERSION}; edit those, not this page.
.TH GRAVEL 1 \"\" \"Gravel ${VERSION}\" \"User Commands\"
.nh
.ad l
.SH NAME
gravel \\- render audio through the Gravel overdrive pedal model
.SH SYNOPSIS
.nf
${synopsis_roff}.fi
.SH DESCRIPTION
${description}.SH COMMANDS
${commands_roff}.SH FILES
.TP
\\fI../lib/lxvst/Gravel.vst\\fR
The bundle gravel loads when no \\fB\\-\\-plugin\\fR is given, found beside the
program's own folder (\\fI/usr/lib/lxvst/Gravel.vst\\fR for \\fI/usr/bin/gravel\\fR).
.TP
\\fI/usr/lib/lv2/Gravel.lv2\\fR, \\fI/usr/lib/au/Gravel.vst\\fR
The same effect for LV2 hosts, and the link through which AudioUnit hosts find it.
")
file(RENAME ${OUTPUT}.new ${OUTPUT})
