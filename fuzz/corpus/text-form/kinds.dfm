object f: TForm
  Caption = 'a'#13#10'b'
  Font.Style = [fsBold]
  Items.Strings = (
    'one'
    'two')
  C = <
    item
      W = 1.5e3
    end>
  object x: TLabel
    Tag = $FF
  end
end
