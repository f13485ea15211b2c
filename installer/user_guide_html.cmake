# The user guide as the page the installer puts beside the setup program:
# cmark-gfm's rendering of the Markdown (tables included) in a page of its
# own, whose images stay where the guide names them (images/).
#   cmake -DCMARK_GFM=cmark-gfm -DINPUT=user-guide.md -DOUTPUT=user-guide.html -P user_guide_html.cmake
execute_process(COMMAND ${CMARK_GFM} --extension table --to html ${INPUT}
                OUTPUT_VARIABLE body RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${CMARK_GFM} could not convert ${INPUT}")
endif()
string(REGEX MATCH "<h1>([^<]*)</h1>" heading "${body}")
set(title "Orvella for Nova Scope Trader: ${CMAKE_MATCH_1}")
file(WRITE ${OUTPUT} "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<title>${title}</title>
<style>
body { font-family: sans-serif; max-width: 60em; margin: 1em auto; padding: 0 1em; line-height: 1.4; }
img { max-width: 100%; }
table { border-collapse: collapse; }
th, td { border: 1px solid #aaa; padding: 0.2em 0.5em; vertical-align: top; }
pre, code { background: #f2f2f2; }
pre { padding: 0.5em; overflow-x: auto; }
</style>
</head>
<body>
${body}</body>
</html>
")
