#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program under wine, one case per run: program-cases.sh CASE.
source "$(dirname "${BASH_SOURCE[0]}")/wine-session.sh"

# The prefix every case shares, made once: a new one takes seconds to set up.
case_prefix() {
  "$wine/wine64" wineboot --init >/dev/null 2>&1
  "$wine/wineserver" --wait
}

# The window as it opens: title, size, the controls from the table, the empty device list, the
# focus on it; Escape closes the open list, then quits and writes the settings file with the
# untouched Disorder text.
case_opens() {
  use_sound null; start_display; start_program
  local window; window=$(wait_window Vireon)
  sleep 1
  # No window manager: the X window is the Win32 outer window, menu bar and client area.
  expect "window size" "$(xwininfo -id "$window" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')" 470x230
  local client; client=$(probe client)
  [[ $client == "470 "* && ${client#470 } -gt 200 && ${client#470 } -lt 230 ]] ||
    fail "client area '$client': 470 wide, 230 less the menu bar high"
  expect "Disorder label" "$(probe text 21)" Disorder
  expect "Havoc label" "$(probe text 22)" Havoc
  expect "Bedlam label" "$(probe text 23)" Bedlam
  expect "attack label" "$(probe text 9)" A
  expect "Havoc value" "$(probe text 14)" 45
  expect "Bedlam value" "$(probe text 13)" 30
  expect "Disorder box" "$(probe text 18)" 10
  # Raw positions count from the top, where the maximum is.
  expect "attack slider" "$(probe slider 5)" "2000 1 2000"
  expect "sustain slider" "$(probe slider 7)" "50 0 100"
  expect "release slider" "$(probe slider 8)" "3501 1 5000"
  expect "Havoc slider" "$(probe slider 15)" "56 1 100"
  expect "device list" "$(probe list)" "0 -1"
  expect "MIDI status" "$(probe status)" $'\tNo MIDI IN'
  expect "focus" "$(probe focus)" 4
  import -window "$window" "$WORK/main-window.png"
  # Escape first closes the open device list; only then does it quit.
  send_keys "$window" F4 Escape
  expect "still running after the list closed" "$(probe enabled)" 1
  send_keys "$window" Escape
  expect_exit_zero
  expect "settings file" "$(settings_file)" '1 0 \r \n'
}

# Tab and Shift+Tab walk the controls in order; arrows move sliders and step the Disorder box,
# which shows its position after every event; the file receives what the box shows.
case_keys() {
  use_sound null; start_display; start_program
  local window; window=$(wait_window Vireon)
  send_keys "$window" Tab Tab Tab Tab Tab Tab Tab
  expect "focus after seven Tabs" "$(probe focus)" 18
  expect "Disorder box on focus" "$(probe text 18)" 9
  send_keys "$window" Down Down Up Down
  expect "Disorder box stepped" "$(probe text 18)" 7
  send_keys "$window" shift+Tab shift+Tab
  expect "focus after two Shift+Tabs" "$(probe focus)" 15
  send_keys "$window" Up Up Up
  expect "Havoc value" "$(probe text 14)" 48
  expect "Havoc slider" "$(probe slider 15)" "53 1 100"
  send_keys "$window" Tab End
  expect "Bedlam at its bottom" "$(probe text 13)" 1
  send_keys "$window" Tab Tab
  expect "focus wraps round" "$(probe focus)" 4
  send_keys "$window" Escape
  expect_exit_zero
  expect "settings file" "$(settings_file)" '7 \r \n'
}

# The "?" menu: About disables the main window until it is dismissed; Help
# shows the whole help text and, while it is open, the main window's Escape does nothing; a
# close request of the main window quits and saves as Escape does.
case_help_and_about() {
  use_sound null; start_display; start_program
  local window; window=$(wait_window Vireon)
  choose_from_menu "$window" 1 1
  local about; about=$(wait_window About)
  expect "main window while About is up" "$(probe enabled)" 0
  send_keys "$about" Return
  expect "main window after About" "$(probe enabled)" 1
  choose_from_menu "$window" 1 2
  local help; help=$(wait_window "Vireon Help")
  expect "help text: characters and lines" "$(probe help)" "748 19"
  send_keys "$window" Escape
  expect "still running after Escape" "$(probe enabled)" 1
  close_window "Vireon Help"
  sleep 0.5
  # Wine keeps a closed window's X window about; Windows' own list says whether it is gone.
  expect "help window after its close" "$(probe help)" ""
  # The main window's close request ends the program as Escape does.
  close_window Vireon
  expect_exit_zero
  expect "settings file" "$(settings_file)" '1 0 \r \n'

}

# Ctrl+K opens the on-screen keyboard; a computer key held there plays a note until it is let
# go, and a note still held when the keyboard closes ends with it.
case_keyboard() {
  use_sound null; start_display; start_program
  local window; window=$(wait_window Vireon)
  expect "note status before any note" "$(probe note)" none
  send_keys "$window" ctrl+k
  local keyboard; keyboard=$(wait_window "Vireon keyboard")
  xdotool windowfocus --sync "$keyboard"
  sleep 0.5
  xdotool keydown x
  sleep 0.3
  expect "note status with a key held" "$(probe note)" On
  xdotool keyup x
  sleep 0.3
  expect "note status after the key" "$(probe note)" Off
  xdotool keydown m
  sleep 0.3
  expect "note status with a key held" "$(probe note)" On
  close_window "Vireon keyboard"
  sleep 0.5
  expect "note status once the keyboard closed" "$(probe note)" Off
  xdotool keyup m
  # Without a window manager, wine gives the main window the keys back only once the keyboard
  # window is gone.
  send_keys "$window" Escape
  expect_exit_zero
}

# A factory sound chosen from the Sounds menu moves every slider to its position, shows Havoc
# and Bedlam, and puts its Disorder in the box, which the settings file then holds.
case_sounds() {
  use_sound null; start_display; start_program
  local window; window=$(wait_window Vireon)
  choose_from_menu "$window" 3 2
  sleep 0.5
  # The second factory sound's positions, from the file every face is made from.
  local -A value
  while read -r key _ number; do value[$key]=$number; done < <(awk \
    '/^vireon-sound/ { n++ } n == 2 && / = / && $1 != "name" && $1 != "description"' \
    "$VIREON_FACTORY_SOUNDS")
  expect "Havoc value" "$(probe text 14)" "${value[havoc]}"
  expect "Bedlam value" "$(probe text 13)" "${value[bedlam]}"
  expect "attack slider" "$(probe slider 5)" "$((1 + 2000 - value[attack])) 1 2000"
  expect "sustain slider" "$(probe slider 7)" "$((100 - value[sustain])) 0 100"
  expect "release slider" "$(probe slider 8)" "$((1 + 5000 - value[release])) 1 5000"
  expect "Disorder box" "$(probe text 18)" "${value[disorder]}"
  send_keys "$window" Escape
  expect_exit_zero
  expect "settings file" "$(od -An -c "$WORK/program/chaos.txt" | tr -d ' ')" "${value[disorder]}\\r\\n"
}

# A note played on the on-screen keyboard reaches a JACK server through WASAPI, wine and ALSA
# exactly as vireon-render renders that note at the server's rate: the live instrument, the
# converter and the output carry every sample bit for bit. One row per rate; the second also sets
# a playing control in the Playing window (Ctrl+P), which the renderer is given as an option.
sound_rows=(
  "48000 - -"
  "44100 velocity 100"
)
case_sound() {
  local rate control position row
  for row in "${sound_rows[@]}"; do
    read -r rate control position <<<"$row"
    play_and_compare "$rate" "$control" "$position"
  done
}

gcd() { local a=$1 b=$2; while ((b)); do set -- "$b" $((a % b)); a=$1 b=$2; done; echo "$a"; }

play_and_compare() {
  local rate=$1 control=$2 position=$3 count=6000 options=()
  use_sound jack "$rate"; start_display; start_program
  local window; window=$(wait_window Vireon)
  if [[ $control != - ]]; then
    # Velocity is the Playing window's second control: Tab from the first, End to its maximum.
    send_keys "$window" ctrl+p
    local playing; playing=$(wait_window Playing)
    import -window "$playing" "$WORK/playing-window.png"
    send_keys "$playing" Tab End
    close_window Playing
    options=(--"$control" "$position")
  fi
  "$VIREON_JACK_RECORDER" "$JACK_DEFAULT_SERVER" '.*:out_000$' $count "$WORK/recorded.raw" &
  local recorder=$!
  helper_pids+=($recorder)
  send_keys "$window" ctrl+k
  local keyboard; keyboard=$(wait_window "Vireon keyboard")
  send_keys "$keyboard"
  xdotool keydown z
  wait "$recorder" || fail "the program's sound at $rate Hz was not recorded"
  xdotool keyup z
  sound_words "$WORK/recorded.raw" $count >"$WORK/recorded.txt"
  expect "samples compared at $rate Hz" "$(wc -l <"$WORK/recorded.txt")" $count
  # Where the note fell among the engine samples of one cycle of the rate ratio is unknown (one
  # of 80 places at 44100 Hz, always the same at whole ratios); one of them must match.
  local phases=$((8000 / $(gcd "$rate" 8000))) phase matched=''
  for ((phase = 0; phase < phases; ++phase)); do
    printf '%d 0x90 60 100\n' $phase >"$WORK/note.txt"
    "$VIREON_NATIVE_RENDER" --events "$WORK/note.txt" --rate "$rate" "${options[@]}" \
      --length $((phase + 8000)) -o - >"$WORK/reference.raw"
    sound_words "$WORK/reference.raw" $count >"$WORK/reference.txt"
    if cmp -s "$WORK/reference.txt" "$WORK/recorded.txt"; then matched=1; break; fi
  done
  [[ -n $matched ]] || fail "the sound at $rate Hz differs from vireon-render's at every phase"
  close_window "Vireon keyboard"
  send_keys "$window" Escape
  expect_exit_zero
  end_session
}

# A sound saved under a new name lands in the user's roaming application data and comes back
# when opened there, after another sound has moved the controls.
case_sound_files() {
  use_sound null; start_display
  local folder; folder=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -path '*/AppData/Roaming' | head -n1)
  [[ -d $folder ]] || fail "no roaming application data in the prefix"
  rm -rf "$folder/Vireon"
  start_program
  local window; window=$(wait_window Vireon)
  choose_from_menu "$window" 3 2
  choose_from_menu "$window" 3 -1
  local name; name=$(wait_window "Save sound")
  send_keys "$name"
  xdotool type --delay 50 "My Tone"
  xdotool key Return
  sleep 1
  # The Save dialog proposes the name in the sounds folder.
  xdotool key Return
  local file="$folder/Vireon/sounds/My Tone.vireon-sound"
  for _ in $(seq 50); do [[ -f $file ]] && break; sleep 0.1; done
  [[ -f $file ]] || fail "no sound file saved in the roaming sounds folder"
  grep -q '^name = My Tone' "$file" || fail "the file does not name the sound"
  choose_from_menu "$window" 3 1
  expect_soon "Havoc of the first sound" 45 probe text 14
  choose_from_menu "$window" 3 -2
  sleep 1
  xdotool type --delay 50 "My Tone.vireon-sound"
  xdotool key Return
  sleep 1
  expect_soon "Havoc of the sound opened" 1 probe text 14
  expect "Disorder of the sound opened" "$(probe text 18)" 1
  send_keys "$window" Escape
  expect_exit_zero
}

# MIDI learn from a slider's context menu: a binding from the controllers file beside the settings
# file is offered for forgetting and forgotten there, and learning says what to do.
case_learn() {
  use_sound null; start_display
  printf 'havoc 21\n' >"$WORK/program/controllers.txt"
  start_program
  local window; window=$(wait_window Vireon)
  # The Havoc slider, below the menu bar: its second entry, "Forget controller 21".
  choose_from_context_menu "$window" 110 120 2
  expect_soon "message after forgetting" ${#FORGOTTEN} probe message
  grep -q havoc "$WORK/program/controllers.txt" && fail "the binding is still in the file"
  choose_from_context_menu "$window" 110 120 1
  expect_soon "message while learning" ${#LEARNING} probe message
  send_keys "$window" Escape
  expect_exit_zero
}
FORGOTTEN="Havoc: no MIDI controller"
LEARNING="Havoc: move a MIDI controller (channel 1) to bind it"

latency_file() { tr -d '\r' <"$WORK/program/latency.txt" 2>/dev/null; }
message_is_standard_latency() {
  local length; length=$(probe message)
  ((length == 23 || length == 24)) && echo yes
}

# The latency: a word the option does not know is refused in a box; the command line's choice
# plays for its run only, and the Audio menu's is remembered in latency.txt and shows the
# output's latency ("Standard latency: 99 ms").
case_latency() {
  use_sound null; start_display
  start_program --latency fast
  send_keys "$(wait_window Vireon)" Return
  expect_exit_zero 2
  start_program --latency low
  local window; window=$(wait_window Vireon)
  [[ ! -e $WORK/program/latency.txt ]] || fail "the command line's latency was remembered"
  choose_from_menu "$window" 4 1
  expect_soon "latency file" standard latency_file
  # The message comes once the output has opened again: 'Standard latency: N ms'.
  expect_soon "message length" yes message_is_standard_latency
  choose_from_menu "$window" 4 2
  expect_soon "latency file" low latency_file
  send_keys "$window" Escape
  expect_exit_zero
}

# A damaged settings file: the box shows its first line as it is, and once touched the box's
# position, which the file then holds.
case_damaged_settings() {
  use_sound null; start_display
  printf '\xef\xbb\xbfzz\x01\x02\r\x00more' >"$WORK/program/chaos.txt"
  start_program
  local window; window=$(wait_window Vireon)
  expect "Disorder box" "$(probe text 18)" $'\xef\xbb\xbfzz\x01\x02'
  send_keys "$window" shift+Tab Escape
  expect_exit_zero
  expect "settings file" "$(settings_file)" '1 \r \n'
}

# No sound output at all: the "PortAudio" box says why, the program ends with 0 when it is
# dismissed, no main window ever opens and the settings file keeps what it held.
case_no_output() {
  use_sound none; start_display
  printf '17\r\n' >"$WORK/program/chaos.txt"
  start_program
  local box; box=$(wait_window PortAudio)
  import -window "$box" "$WORK/no-output.png"
  xdotool search --onlyvisible --name '^Vireon$' >/dev/null && fail "the main window opened"
  send_keys "$box" Return
  expect_exit_zero
  expect "settings file" "$(settings_file)" '1 7 \r \n'
}

# The installer, run silently, puts the programs and files in the user's own AppData with a
# Start-menu entry and an uninstaller, and the programs run from there; the uninstaller, run
# silently, takes all of it away again (finishing in the background, so the files are watched).
case_installer() {
  local users=$WINEPREFIX/drive_c/users
  rm -rf "$users"/*/AppData/Local/Programs/Vireon
  "$wine/wine64" "$VIREON_INSTALLER" /S >/dev/null 2>&1 || true
  local folder; folder=$(dirname "$(find "$users" -path '*/AppData/Local/Programs/Vireon/vireon.exe')")
  [[ -d $folder ]] || fail "nothing installed in the user's AppData\\Local\\Programs"
  for file in vireon.exe vireon-render.exe factory-sounds.txt demo-phrase.txt README.md \
      LICENSE.txt Uninstall.exe; do
    [[ -f $folder/$file ]] || fail "$file is not installed"
  done
  local menu; menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Vireon/Vireon.lnk')
  [[ -n $menu ]] || fail "no Start-menu entry"
  "$wine/wine64" "$folder/vireon-render.exe" --events "$folder/demo-phrase.txt" -o - \
    | cmp -s - <("$VIREON_NATIVE_RENDER" --events "$folder/demo-phrase.txt" -o -) ||
    fail "the installed vireon-render does not render as this system's"
  "$wine/wine64" "$folder/Uninstall.exe" /S >/dev/null 2>&1 || true
  for _ in $(seq 100); do [[ -e $folder/vireon.exe || -e $menu ]] || break; sleep 0.2; done
  [[ ! -e $folder/vireon.exe && ! -e $folder/vireon-render.exe ]] || fail "the programs stay"
  [[ ! -e $menu ]] || fail "the Start-menu entry stays"
}

"case_$1"
