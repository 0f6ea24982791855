set x to 1 + 2 * 3 - 4 / 2 ^ 2 div 1 mod 5
try
    set y to (x as text) & -"3" + 1.5E+3
on error m number n
    return {m, n, 7 div 0}
end try
return {x < y, "b" ≥ "A", y as integer, "12" as number}
