tell application "Things3"
    set output to ""
    try
        set t to tag "Say " & quote & "Hello" & quote
        set tid to id of t
        set tname to name of t
        set tparent to ""
        try
            set tparent to id of parent tag of t
        end try
        set tcount to count of (to dos of t whose status is open)
        set output to tid & "|||" & tname & "|||" & tparent & "|||" & tcount
    end try
    return output
end tell