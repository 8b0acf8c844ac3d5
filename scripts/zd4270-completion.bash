# Bash completion for zd4270 (commands, their options and the options every run takes) and for
# zd4270-sim.
# Load it with:  source scripts/zd4270-completion.bash
# (or copy it to ~/.local/share/bash-completion/completions/zd4270).

_zd4270_global_options="--station --pos --line --modbus --modbus-rtu --lang --save-line --frame-log --registry --site --quiet --help --all --lines --save-lines"

# The options of one command, by its name.
_zd4270_command_options() {
    case "$1" in
        scan) echo "--optical-feedback --ask-twice --quick --report --format" ;;
        "address random") echo "--start --new-installation --delete-groups --delete-scenes --yes --optical-feedback --fast --report --format" ;;
        "address physical") echo "--start --remove-lamp --lamp-delay --lamps --timeout --new-installation --yes --delete-groups --delete-scenes --report --format" ;;
        "address single") echo "--yes --report --format" ;;
        "address change") echo "--report --format" ;;
        send) echo "--short --group --data --dsi --broadcast --yes" ;;
        query) echo "--short --group --data --broadcast" ;;
        "archive upload" | "archive download") echo "--yes" ;;
        options) echo "--mode --power-supply --count-devices" ;;
        variables) echo "--short --set --optical-feedback" ;;
        groups) echo "--short --add --remove --optical-feedback" ;;
        scenes) echo "--short --set --optical-feedback" ;;
        status) echo "--short --scan" ;;
        serve) echo "--listen --tls-cert --tls-key --allow-host --virtual-time" ;;
        colour) echo "--short --group --broadcast --kelvin --mirek --refuse-outside-limits --coolest --warmest --physical-coolest --physical-warmest --scene --level" ;;
        settings) echo "--log-mapping --log-user-data --log-addressing" ;;
        report) echo "--format" ;;
        backup) echo "--yes" ;;
        restore) echo "--dry-run --yes --other-gear" ;;
        identify) echo "--short --seconds --mode" ;;
        name) echo "--short --room --floor --note" ;;
        replace) echo "--short --backup --physical --remove-lamp --lamp-delay --timeout" ;;
        "emergency status") echo "--short --all-gear" ;;
        "emergency test") echo "--short --poll" ;;
        "emergency timing") echo "--short --function-interval --duration-interval --timeout --prolong --test-delay" ;;
    esac
}

_zd4270() {
    local cur prev words=("${COMP_WORDS[@]}") i command="" sub="" helpsub=""
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"

    # Values of options.
    case "$prev" in
        --station | --line | --save-line | --frame-log | --registry | --site | --report | --backup | --modbus-rtu | \
            --tls-cert | --tls-key)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return ;;
        --lines | --save-lines)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
        --format) mapfile -t COMPREPLY < <(compgen -W "html pdf csv" -- "$cur"); return ;;
        --lang) mapfile -t COMPREPLY < <(compgen -W "en de" -- "$cur"); return ;;
        --mode) mapfile -t COMPREPLY < <(compgen -W "dali dsi flash max others-off" -- "$cur"); return ;;
        --power-supply | --count-devices | --log-mapping | --log-user-data | --log-addressing)
            mapfile -t COMPREPLY < <(compgen -W "on off" -- "$cur"); return ;;
        --pos | --modbus | --start | --short | --group | --data | --dsi | --set | --add | --remove | \
            --remove-lamp | --lamp-delay | --lamps | --timeout | --listen | --allow-host | --poll | --function-interval | \
            --duration-interval | --prolong | --test-delay | --seconds | --room | --floor | --note)
            return ;;
    esac

    # The command so far: the first word that is no option or option value, and for address,
    # archive and emergency the word after it.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${words[i]}" in
            --station | --pos | --line | --modbus | --modbus-rtu | --lang | --save-line | --frame-log | \
                --registry | --site | --lines | --save-lines) ((i++)) ;;
            -*) ;;
            *)
                if [[ -z "$command" ]]; then
                    command="${words[i]}"
                elif [[ -z "$sub" && ( "$command" == address || "$command" == archive || "$command" == emergency || "$command" == help ) ]]; then
                    sub="${words[i]}"
                elif [[ "$command" == help && -z "$helpsub" ]]; then
                    helpsub="${words[i]}"
                fi ;;
        esac
    done

    local commands="scan address archive send query options variables groups scenes colour status report backup restore replace emergency identify name settings serve help demo"
    if [[ -z "$command" ]]; then
        if [[ "$cur" == -* ]]; then
            local first=""
            ((COMP_CWORD == 1)) && first="--version"
            mapfile -t COMPREPLY < <(compgen -W "$_zd4270_global_options $first" -- "$cur")
        else
            mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        fi
        return
    fi
    # help takes a command: a group (address, archive) and its command, or one of the others.
    if [[ "$command" == help ]]; then
        [[ "$cur" == -* ]] && return
        if [[ -z "$sub" ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
        elif [[ -z "$helpsub" && "$sub" == address ]]; then
            mapfile -t COMPREPLY < <(compgen -W "random physical single change" -- "$cur")
        elif [[ -z "$helpsub" && "$sub" == archive ]]; then
            mapfile -t COMPREPLY < <(compgen -W "upload download" -- "$cur")
        elif [[ -z "$helpsub" && "$sub" == emergency ]]; then
            mapfile -t COMPREPLY < <(compgen -W "status test timing" -- "$cur")
        fi
        return
    fi
    if [[ -z "$sub" && "$command" == address ]]; then
        mapfile -t COMPREPLY < <(compgen -W "random physical single change" -- "$cur")
        return
    fi
    if [[ -z "$sub" && "$command" == archive ]]; then
        mapfile -t COMPREPLY < <(compgen -W "upload download" -- "$cur")
        return
    fi
    if [[ -z "$sub" && "$command" == emergency ]]; then
        mapfile -t COMPREPLY < <(compgen -W "status test timing" -- "$cur")
        return
    fi
    if [[ "$command" == emergency && "$sub" == test && "$cur" != -* && "$prev" == test ]]; then
        mapfile -t COMPREPLY < <(compgen -W "function duration" -- "$cur")
        return
    fi
    local name="$command"
    [[ "$command" == address || "$command" == archive || "$command" == emergency ]] && name="$command $sub"
    if [[ "$cur" == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(_zd4270_command_options "$name") $_zd4270_global_options" -- "$cur")
    elif [[ "$name" == "archive upload" || "$name" == "archive download" || "$name" == report ]]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}

complete -F _zd4270 zd4270

_zd4270_sim() {
    local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD-1]}"
    case "$prev" in
        --line | --station | --listen-rtu) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
        --lines) mapfile -t COMPREPLY < <(compgen -d -- "$cur"); return ;;
        --pos | --listen) return ;;
    esac
    mapfile -t COMPREPLY < <(compgen -W "--line --station --pos --listen --listen-rtu --window --lines --version --help" -- "$cur")
}

complete -F _zd4270_sim zd4270-sim
