# What takes the space in an executable, from GNU ld's linker map: the bytes
# each input object (or archive member) adds to the sections that are in the
# file, the largest ones, and totals by where they come from.
#   awk -v file_size=<bytes of the .exe> -v top=<how many objects> -f map-breakdown.awk <map>

function hex(text,    digits, value, i) {
    digits = tolower(substr(text, 3))
    value = 0
    for (i = 1; i <= length(digits); i++)
        value = value * 16 + index("0123456789abcdef", substr(digits, i, 1)) - 1
    return value
}

function add(object, bytes) {
    if (section == ".bss" || bytes == 0) # .bss takes no room in the file
        return
    size[object] += bytes
    total += bytes
}

function short_name(object) {
    if (object ~ /CMakeFiles\/Backdrift\.dir\/objects\.a\(/) {
        sub(/.*objects\.a\(/, "", object)
        sub(/\)$/, "", object)
        sub(/\.obj$/, "", object)
        return "Backdrift " object
    }
    sub(/.*\//, "", object)
    return object
}

function origin(object) {
    if (object ~ /\(cp-demangle\.o\)/) return "libstdc++ demangler (pulled in by the verbose terminate handler)"
    if (object ~ /\((vterminate|eh_terminate)\.o\)/) return "libstdc++ verbose terminate handler"
    if (object ~ /libstdc\+\+\.a/) return "libstdc++ other (string instantiations, exceptions, random)"
    if (object ~ /libpthread\.a|libwinpthread/) return "winpthread (for the posix-thread libstdc++)"
    if (object ~ /libgcc(_eh)?\.a/) return "libgcc (unwinder, helpers)"
    if (object ~ /crt2u?\.o|crtbegin\.o|crtend\.o|libmingw32\.a|libmingwex\.a|libmsvcrt\.a|libmoldname\.a/)
        return "mingw-w64 C runtime (start-up, printf, math)"
    if (object ~ /\.rc\.res\)$/) return "resources (icon, manifest, dialog, version)"
    if (object ~ /CMakeFiles\/Backdrift\.dir\//) return "Backdrift's own code"
    if (object ~ /\/lib[A-Za-z0-9_]+\.a\(/) return "import thunks and tables (Windows DLLs)"
    if (object == "dll stuff") return "base relocations"
    if (object == "(padding)") return "alignment padding"
    return "other"
}

/^Linker script and memory map/ { in_map = 1; next }
!in_map { next }
/^\.(stab|debug|zdebug)/ { in_map = 0; next } # debugging sections are stripped
/^\.[^ ]+/ { section = $1 }
# Input sections: " .name 0xaddress 0xsize object", or the name alone on one
# line when it is long and the rest on the next.
/^ \*fill\*/ { add("(padding)", hex($3)); next }
/^ \.[^ ]+$/ { wrapped = 1; next }
wrapped && $1 ~ /^0x/ && $2 ~ /^0x/ && NF >= 3 {
    wrapped = 0
    object = $3
    for (i = 4; i <= NF; i++) object = object " " $i
    add(object, hex($2))
    next
}
{ wrapped = 0 }
/^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ / {
    object = $4
    for (i = 5; i <= NF; i++) object = object " " $i
    add(object, hex($3))
}

END {
    for (object in size) by_origin[origin(object)] += size[object]
    if (file_size > total) by_origin["PE headers and section alignment"] = file_size - total

    printf "By origin (of %.1f KB):\n", file_size / 1024
    sort_desc(by_origin, names)
    for (i = 1; i <= count; i++)
        printf "  %7.1f KB  %s\n", by_origin[names[i]] / 1024, names[i]
    printf "Largest objects:\n"
    sort_desc(size, names)
    for (i = 1; i <= count && i <= top; i++)
        printf "  %7.1f KB  %s\n", size[names[i]] / 1024, short_name(names[i])
}

# Fills sorted[1..count] with the keys of table, largest value first.
function sort_desc(table, sorted,    key, i, j, swap) {
    count = 0
    for (key in table) sorted[++count] = key
    for (i = 2; i <= count; i++)
        for (j = i; j > 1 && table[sorted[j]] > table[sorted[j - 1]]; j--) {
            swap = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = swap
        }
}
