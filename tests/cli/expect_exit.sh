#!/bin/sh
# expect_exit.sh CODE COMMAND...: passes when COMMAND exits with CODE.
want=$1; shift
"$@"
got=$?
if [ "$got" -ne "$want" ]; then
  echo "exit code $got, expected $want" >&2
  exit 1
fi
exit 0
