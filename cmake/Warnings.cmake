# One interface target carrying the project's warning set.
add_library(tessarin_warnings INTERFACE)
target_compile_options(tessarin_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Werror=switch
  -Werror=return-type -Wno-unused-parameter)
