# Installs the browser test's npm packages (playwright-core) into the build
# tree, exactly as package-lock.json pins them:
#   cmake -DSRC=<this folder> -DDEST=<build folder> -DNPM=<npm> -P npm_ci.cmake
file(MAKE_DIRECTORY ${DEST})
file(COPY ${SRC}/package.json ${SRC}/package-lock.json DESTINATION ${DEST})
execute_process(COMMAND ${NPM} ci --no-audit --no-fund --loglevel=error
  WORKING_DIRECTORY ${DEST} RESULT_VARIABLE rc TIMEOUT 200)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "npm ci in ${DEST} failed (${rc}): the browser test cannot get playwright-core")
endif()
