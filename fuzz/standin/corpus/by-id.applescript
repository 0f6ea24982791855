tell application "Things3"
    set output to ""
    repeat with t in tags
        if id of t is "ByedasYxKfkYkjXveNdX1C" then
            set tname to name of t
            exit repeat
        end if
    end repeat
    return output
end tell