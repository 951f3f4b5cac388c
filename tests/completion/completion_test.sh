#!/usr/bin/env bash
# Checks the bash completion of dravlopro and dravlopro-sim: command words,
# file names after -a, -v and -dump, id=/sn= after -pdev and -sdev, through
# the words that readline hands to the completion function.
#
# Usage: completion_test.sh COMPLETION_FILE [BASH_COMPLETION_SCRIPT]
# With the second argument, the bash-completion package's script is loaded
# first, so its _filedir completes the file names; without it the completion
# falls back on compgen.
set -u

completion=$(realpath "$1")
if [ $# -ge 2 ]; then
  # shellcheck disable=SC1090
  source "$2"
fi
# shellcheck disable=SC1090
source "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch app.hex app.bin app.elf FW.AXF notes.txt "k=v.hex"
mkdir images
touch images/boot.hex

# Splits the line into words as readline does (at blanks, and at "=" and ":",
# which become words of their own), puts the cursor at the end and runs the
# completion function registered for the first word.
complete_line() {
  local line=$1
  local tokens token
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMP_WORDS=()
  read -ra tokens <<<"$line"
  for token in "${tokens[@]}"; do
    while [[ $token =~ ^([^=:]*)([=:])(.*)$ ]]; do
      [[ -n ${BASH_REMATCH[1]} ]] && COMP_WORDS+=("${BASH_REMATCH[1]}")
      COMP_WORDS+=("${BASH_REMATCH[2]}")
      token=${BASH_REMATCH[3]}
    done
    [[ -n $token ]] && COMP_WORDS+=("$token")
  done
  [[ $line == *[[:space:]] ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  local binding function
  binding=$(complete -p "${COMP_WORDS[0]}" 2>/dev/null) || return 1
  function=$(sed -n 's/.*-F \([^ ]*\).*/\1/p' <<<"$binding")
  "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
}

sorted() {
  if [ $# -gt 0 ]; then printf '%s\n' "$@" | LC_ALL=C sort; fi
}

passed=0
failed=0
# expect LINE [WORD...]: completing LINE offers exactly these words.
expect() {
  local line=$1
  shift
  local got want
  if ! complete_line "$line"; then
    echo "FAIL: no completion registered for: $line"
    failed=$((failed + 1))
    return
  fi
  got=$(sorted "${COMPREPLY[@]}")
  want=$(sorted "$@")
  if [ "$got" = "$want" ]; then
    passed=$((passed + 1))
  else
    echo "FAIL: completing '$line'"
    echo "  expected: ${want//$'\n'/ }"
    echo "  got:      ${got//$'\n'/ }"
    failed=$((failed + 1))
  fi
}

commands=(-id -sn -list -pdev -sdev -q -rst -hrst -hrsts -halt -run -se -me -a -v -ob -rob -r32 -w32 -dump)

# Command words: at the start, after a command's parameters, in any case.
expect "dravlopro -" "${commands[@]}"
expect "dravlopro " "${commands[@]}"
expect "dravlopro -r" -rst -run -rob -r32
expect "dravlopro -H" -hrst -hrsts -halt
expect "dravlopro -a app.hex -v app.hex -" "${commands[@]}"
expect "dravlopro -r32 0x0 8 -rs" -rst
expect "dravlopro -se 0 -m" -me
expect "dravlopro -se 0 3 -m" -me
expect "dravlopro -ob cp0=1 pp0=0xF -ro" -rob
expect "dravlopro -q -sn 12345 -d" -dump
expect "dravlopro-sim -li" -list

# File names after -a, -v and as the third parameter of -dump.
expect "dravlopro -a " FW.AXF app.bin app.elf app.hex images k=v.hex notes.txt
expect "dravlopro -a app." app.bin app.elf app.hex
expect "dravlopro -v app.e" app.elf
expect "dravlopro -a F" FW.AXF
expect "dravlopro -a images/" images/boot.hex
expect "dravlopro -V app.h" app.hex
expect "dravlopro -rst -v no" notes.txt
expect "dravlopro -dump 0x20000000 16 ap" app.bin app.elf app.hex
expect "dravlopro-sim -a app.b" app.bin
# Readline replaces only what follows the "=" in "k=v".
expect "dravlopro -a k=v" v.hex

# Parameters that are numbers or serial numbers: nothing to offer.
expect "dravlopro -dump "
expect "dravlopro -dump 0x0 "
expect "dravlopro -r32 0x0 "
expect "dravlopro -id "
expect "dravlopro -sn "

# id= and sn= after -pdev and -sdev, NULL after -sdev; nothing once the
# value is being typed, and commands again after it.
expect "dravlopro -pdev " id= sn=
expect "dravlopro -pdev s" sn=
expect "dravlopro -sdev " id= sn= NULL
expect "dravlopro -sdev N" NULL
expect "dravlopro-sim -sdev i" id=
expect "dravlopro -pdev id="
expect "dravlopro -pdev id=1"
expect "dravlopro -pdev id=1 -" "${commands[@]}"
expect "dravlopro -sdev sn=AB:CD -a app.h" app.hex

# The option-byte settings after -ob.
expect "dravlopro -ob " cp0= cp1= pp0= pp1= pp2= pp3=
expect "dravlopro -ob cp0=1 p" pp0= pp1= pp2= pp3=

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
