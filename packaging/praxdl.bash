# bash completion for praxdl                                  -*- shell-script -*-
#
# Stands on its own (no helper of the bash-completion package is needed), so it can be sourced
# by hand as well as loaded on demand from the completions folder.

# The word being completed as the shell will read it: without an opening quote, backslashes
# taken off.
_praxdl_dequote() {
    local word=$1
    case $word in
        \"*) word=${word#\"}; word=${word%\"} ;;
        \'*) word=${word#\'}; word=${word%\'} ;;
        *)
            local out="" i
            for ((i = 0; i < ${#word}; i++)); do
                if [[ ${word:i:1} == \\ ]]; then
                    ((i++))
                fi
                out+=${word:i:1}
            done
            word=$out
            ;;
    esac
    printf '%s' "$word"
}

# Adds each of the remaining arguments that starts with $1 to COMPREPLY. Values with blanks are
# left to readline to quote, as it quotes file names.
_praxdl_offer() {
    local prefix=$1 value quoting=""
    shift
    for value in "$@"; do
        if [[ $value == "$prefix"* ]]; then
            COMPREPLY+=("$value")
            [[ $value == *[[:space:]\(\)\'\"]* ]] && quoting=1
        fi
    done
    [[ -n $quoting ]] && compopt -o filenames 2>/dev/null
    return 0
}

_praxdl_files() {
    local prefix=$1 name
    compopt -o filenames 2>/dev/null
    while IFS= read -r name; do
        COMPREPLY+=("$name")
    done < <(compgen -f -- "$prefix")
}

# Recipes: the TOML files, and the folders they may lie in.
_praxdl_recipes() {
    local prefix=$1 name
    compopt -o filenames 2>/dev/null
    while IFS= read -r name; do
        [[ -d $name || $name == *.toml ]] && COMPREPLY+=("$name")
    done < <(compgen -f -- "$prefix")
}

# COMP_WORDS is split at ":" and "=" too; praxdl's words are what the blanks separate
# ("--host [::1]:9100", "--port=USB"). Sets words and cword from the command line as typed.
_praxdl_words() {
    local line=$COMP_LINE rest i w
    words=()
    cword=0
    for ((i = 0; i < ${#COMP_WORDS[@]}; i++)); do
        w=${COMP_WORDS[i]}
        rest=${line#"${line%%[![:space:]]*}"}
        if ((i > 0)) && ((${#rest} == ${#line})); then
            words[${#words[@]} - 1]+=$w
        else
            words+=("$w")
        fi
        line=${rest:${#w}}
        ((i == COMP_CWORD)) && cword=$((${#words[@]} - 1))
    done
    return 0
}

_praxdl() {
    COMPREPLY=()
    local -a words
    local cword
    _praxdl_words
    local cur=${words[cword]} prev=""
    ((cword > 0)) && prev=${words[cword - 1]}
    # --port=TEXT: the shell replaces only what follows "=".
    if [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
    fi
    local word
    word=$(_praxdl_dequote "$cur")

    local commands="init cutter change-mode send firmware dl-firmware font code-table raw channel read apply ports fonts"
    local global="--port --device --output --host --all --watch --count --log --yes --no --quiet --json --help"

    # Find the command and how many of its arguments stand before the word being completed.
    local command="" args=0 ended="" fontfile="" i w
    for ((i = 1; i < cword; i++)); do
        w=${words[i]}
        if [[ -z $ended ]]; then
            case $w in
                --) ended=1; continue ;;
                --file) fontfile=1; ((i++)); continue ;;
                --port | --device | --output | --host | --count | --log | --package-size | --slot | --name) ((i++)); continue ;;
                -*) continue ;;
            esac
        fi
        if [[ -z $command ]]; then
            command=$w
        else
            ((args++))
        fi
    done

    if [[ -z $ended ]]; then
        case $prev in
            --port)
                # The connections, and the serial numbers of the attached USB printers it takes.
                local -a serials=()
                local line pattern='"serial":"([^"\\]*)".*"accepted":true'
                while IFS= read -r line; do
                    [[ $line == '{"event":"usb-printer"'* && $line =~ $pattern ]] && serials+=("${BASH_REMATCH[1]}")
                done < <("${COMP_WORDS[0]/#\~/$HOME}" --json ports 2>/dev/null)
                _praxdl_offer "$word" USB LPT1 "COM1 115200" "COM2 115200" "COM3 115200" "COM4 115200" \
                    "COM5 115200" "COM6 115200" "COM7 115200" "COM8 115200" "${serials[@]}"
                return 0
                ;;
            --device | --output | --log | --file)
                _praxdl_files "$word"
                return 0
                ;;
            --slot)
                _praxdl_offer "$word" TA TB TC TD TE TF TG TH TI TJ TK TL TM TN TO TP TQ TR TS TT TU TV TW TX TY TZ
                return 0
                ;;
            --host | --count | --package-size | --name)
                return 0
                ;;
        esac
        if [[ $word == -* ]]; then
            local options=$global
            case $command in
                "") options+=" --version" ;;
                firmware) options+=" --package-size" ;;
                font) options+=" --slot --file --name" ;;
                code-table) options+=" --slot" ;;
                apply) options+=" --dry-run" ;;
            esac
            # shellcheck disable=SC2086 # the option lists are words by design
            _praxdl_offer "$word" $options --
            return 0
        fi
    fi

    if [[ -z $command ]]; then
        # shellcheck disable=SC2086
        _praxdl_offer "$word" $commands
        return 0
    fi
    ((args > 0)) && return 0
    case $command in
        firmware | dl-firmware | raw | code-table) _praxdl_files "$word" ;;
        apply) _praxdl_recipes "$word" ;;
        channel) _praxdl_offer "$word" 00 25 49 ;;
        read) _praxdl_offer "$word" start stop ;;
        font)
            # A font given as a file takes no name of the list.
            [[ -n $fontfile ]] && return 0
            # The names as praxdl lists them: the first tab-separated column.
            local -a fonts=()
            local name rest
            while IFS=$'\t' read -r name rest; do
                [[ -n $name ]] && fonts+=("$name")
            done < <("${COMP_WORDS[0]/#\~/$HOME}" fonts 2>/dev/null)
            _praxdl_offer "$word" "${fonts[@]}"
            ;;
    esac
    return 0
}

complete -F _praxdl praxdl
