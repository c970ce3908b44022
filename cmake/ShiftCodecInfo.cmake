# cmake -DSOURCE=<list> -DOUTPUT=<codec.kl> -P ShiftCodecInfo.cmake
#
# Writes the codec information file from its readable list: the header item, then one
# item per compressor line ("CODE description"), every character stored one code
# higher. Lines that are empty or begin with "#" are left out. An item that holds a
# comma once shifted (a "+" in the list) is written in double quotes.

string(ASCII 32 33 34 35 36 37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 55 56 57 58 59 60 61 62 63
       64 65 66 67 68 69 70 71 72 73 74 75 76 77 78 79 80 81 82 83 84 85 86 87 88 89 90 91 92 93 94 95
       96 97 98 99 100 101 102 103 104 105 106 107 108 109 110 111 112 113 114 115 116 117 118 119 120
       121 122 123 124 125 126 plain)
string(ASCII 33 34 35 36 37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 55 56 57 58 59 60 61 62 63
       64 65 66 67 68 69 70 71 72 73 74 75 76 77 78 79 80 81 82 83 84 85 86 87 88 89 90 91 92 93 94 95
       96 97 98 99 100 101 102 103 104 105 106 107 108 109 110 111 112 113 114 115 116 117 118 119 120
       121 122 123 124 125 126 127 shifted)

function(shift text out)
  string(LENGTH "${text}" length)
  set(result "")
  if(length GREATER 0)
    math(EXPR last "${length} - 1")
    foreach(i RANGE ${last})
      string(SUBSTRING "${text}" ${i} 1 c)
      string(FIND "${plain}" "${c}" at)
      if(at LESS 0)
        message(FATAL_ERROR "${SOURCE}: a character that is not printable ASCII in: ${text}")
      endif()
      string(SUBSTRING "${shifted}" ${at} 1 s)
      string(APPEND result "${s}")
    endforeach()
  endif()
  if(result MATCHES ",")
    set(result "\"${result}\"")
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

file(READ "${SOURCE}" content)
foreach(bad "\t" "\r" "[" "]" ";" "\\")
  string(FIND "${content}" "${bad}" at)
  if(at GREATER -1)
    message(FATAL_ERROR "${SOURCE}: tabs, carriage returns, brackets, semicolons and backslashes are not allowed: \"${bad}\" at offset ${at}")
  endif()
endforeach()
string(REPLACE "\n" ";" lines "${content}")

shift("KL2000 CODEC INFO 9091" header)
set(text "${header}\n")
foreach(line IN LISTS lines)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  string(LENGTH "${line}" length)
  if(length LESS 6 OR line MATCHES "!")
    message(FATAL_ERROR "${SOURCE}: want \"CODE description\" without \"!\": ${line}")
  endif()
  shift("${line}" item)
  string(APPEND text "${item}\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
