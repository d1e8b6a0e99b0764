# Decompresses one xz-packed fixture image: cmake -DIN=x.img.xz -DOUT=x.img -P Unpack.cmake
execute_process(COMMAND xz -dc ${IN} OUTPUT_FILE ${OUT}.tmp RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${IN}")
endif()
file(RENAME ${OUT}.tmp ${OUT})
