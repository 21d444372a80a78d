# Turns Wine's relay trace of one run (WINEDEBUG=+relay,+process) into the log of the
# KERNEL32 calls that the program's own code made, one line per call, in order:
#
#   FindFirstFileA("Z:\MEDIUM\BRIXHOLD.INF") -> find
#
# Only calls on the program's main thread count, to the functions matching the regular
# expression `functions`, made from the program's image (return addresses from `low` up
# to `high`, hexadecimal). Of each call's arguments only those that are not pointers to
# the program's own buffers are shown: numbers in hexadecimal (0 for zero), strings as
# they were passed, and handles by what they are: "find" for a result of
# FindFirstFileA, "process" and "thread" for those of the process the call created,
# INVALID_HANDLE_VALUE for a search that found nothing.
# Usage: awk -v thread=TID -v low=HEX -v high=HEX -v functions=REGEX -f kernel_calls.awk TRACE

BEGIN {
    low = Wide(low)
    high = Wide(high)
    shown["GetModuleFileNameA"] = "1 3"
    shown["GetModuleFileNameW"] = "1 3"
    shown["MultiByteToWideChar"] = "1 2 3 4 6"
    shown["GetCPInfo"] = "1"
    shown["FindFirstFileA"] = "1"
    shown["FindClose"] = "1"
    shown["CreateProcessA"] = "1 2 3 4 5 6 7 8"
    shown["CloseHandle"] = "1"
    shown["GetLastError"] = ""
}

# A hexadecimal number, 16 digits wide, so that addresses compare as strings.
function Wide(hex) {
    hex = sprintf("%16s", hex)
    gsub(/ /, "0", hex)
    return hex
}

function Number(hex) {
    sub(/^0+/, "", hex)
    return hex == "" ? "0" : "0x" hex
}

function Value(argument) {
    if (argument ~ /^[0-9a-f]+ "/) {
        sub(/^[0-9a-f]+ /, "", argument)
        gsub(/\\\\/, "\\", argument)
        return argument
    }
    return Wide(argument) in handle ? handle[Wide(argument)] : Number(argument)
}

# Splits the arguments of a relay line into list, minding commas inside strings.
function SplitArguments(text, list,    count, i, c, quoted, current) {
    count = 0
    current = ""
    quoted = 0
    for (i = 1; i <= length(text); i++) {
        c = substr(text, i, 1)
        if (c == "\"" && substr(text, i - 1, 1) != "\\") {
            quoted = !quoted
        }
        if (c == "," && !quoted) {
            list[++count] = current
            current = ""
        } else {
            current = current c
        }
    }
    if (current != "") {
        list[++count] = current
    }
    return count
}

# The handles of a process the program's thread created: handles 0xPROCESS/0xTHREAD.
index($0, thread ":trace:process:NtCreateUserProcess") == 1 && / handles 0x/ {
    split($NF, created, "/")
    sub(/^0x/, "", created[1])
    sub(/^0x/, "", created[2])
    handle[Wide(created[1])] = "process"
    handle[Wide(created[2])] = "thread"
}

index($0, thread ":Call KERNEL32.") == 1 {
    name = substr($0, length(thread ":Call KERNEL32.") + 1)
    name = substr(name, 1, index(name, "(") - 1)
    caller = Wide(substr($NF, length("ret=") + 1))
    if (name !~ "^(" functions ")$" || caller < low || caller >= high) {
        next
    }
    arguments = substr($0, index($0, "(") + 1)
    arguments = substr(arguments, 1, length(arguments) - length(") " $NF))
    count = SplitArguments(arguments, argument)
    line = name "("
    split(shown[name], positions, " ")
    for (i = 1; i in positions; i++) {
        line = line (i > 1 ? ", " : "") Value(argument[positions[i]])
    }
    pending[caller] = line ")"
}

index($0, thread ":Ret  KERNEL32.") == 1 {
    caller = Wide(substr($NF, length("ret=") + 1))
    if (!(caller in pending)) {
        next
    }
    result = $(NF - 1)
    sub(/^retval=/, "", result)
    name = pending[caller]
    delete pending[caller]
    if (name ~ /^FindFirstFileA\(/) {
        if (result ~ /^f+$/) {
            print name " -> INVALID_HANDLE_VALUE"
            next
        }
        handle[Wide(result)] = "find"
    }
    print name " -> " Value(result)
}
