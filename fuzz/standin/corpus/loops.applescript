set total to 0
repeat with i from 10 to 1 by -2
    repeat 3 times
        set total to total + i
    end repeat
end repeat
repeat until total > 1000
    set total to total * 2
    if total mod 7 = 0 then exit repeat
end repeat
repeat while total > 100
    set total to total div 3
end repeat
return total
